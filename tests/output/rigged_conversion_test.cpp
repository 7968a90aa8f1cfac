// Whole conversions of rigged models through the real executable, compared
// byte for byte with objects and header texts laid out by hand.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/test_support.h"

namespace {

// A vertex record without texture coordinate or normal.
Bytes& bare_vertex(Bytes& b, int16_t x, int16_t y, int16_t z, uint8_t limb)
{
    return b.vertex(x, y, z, limb, 0, 0, 0, 0, 0);
}

struct RiggedConversion {
    TempDir dir;
    ProcessResult result;

    RiggedConversion(const std::string& objex, const std::string& skeleton, std::vector<std::string> switches = {})
    {
        write_file(dir / "in.objex", objex);
        write_file(dir / "s.skel", skeleton);
        std::vector<std::string> args = {"object", "in.objex", "out.zobj"};
        args.insert(args.end(), switches.begin(), switches.end());
        result = run_tessaloom(args, dir.path());
    }
    std::string file(const std::string& name) const { return read_file(dir / name); }
};

const char* const base_offset_line = "\r\n/* Base Offset: 0x06000000 */\r\n";

// Two bracketed bones, root at the origin and arm one unit along x. The
// rigged triangle over both goes to the arm, and so does the arm's own; the
// root keeps two vertices and no triangle, so it gets a placeholder that
// loads them (a, b, b) and draws nothing.
const std::string two_bone_objex = "skeleton s.skel\n"
                                   "bone 0\nv 0 0 0\nv 0 1 0\n"
                                   "bone 1\nv 1 0 0\nv 2 0 0\nv 1 1 0\n"
                                   "g riggedmesh\nf 1 2 3\nf 3 4 5\n";
const std::string two_bone_skeleton = "limbs 2\n+ \"root\" {0 0 0}\n + \"arm\" {1 0 0}\n -\n-\n";

// The limb lists of the two-bone model: 0x00-0x67 limb 0, 0x68-0x11F limb 1.
Bytes two_bone_limb_lists()
{
    Bytes b;
    // Limb 0 at 0x00: the root's two vertices, then its list at 0x20.
    bare_vertex(b, 0, 0, 0, 0);
    bare_vertex(b, 0, 0x400, 0, 0);
    b.append(default_material())
        .cmd(0x01002004, 0x06000000)  // G_VTX: 2 vertices into slots 0-1, under the limb's own matrix
        .cmd(0xDF000000, 0);          // G_ENDDL: the placeholder draws nothing
    // Limb 1 at 0x68: root's vertices first, then the arm's, moved into its
    // space (x - 1024); the list at 0xB8.
    bare_vertex(b, 0, 0, 0, 0);
    bare_vertex(b, 0, 0x400, 0, 0);
    bare_vertex(b, 0, 0, 0, 1);
    bare_vertex(b, 0x400, 0, 0, 1);
    bare_vertex(b, 0, 0x400, 0, 1);
    b.append(default_material())
        .cmd(0xDA380003, 0x0D000000)  // G_MTX: limb 0's matrix
        .cmd(0x01002004, 0x06000068)  // G_VTX: 2 vertices into slots 0-1
        .cmd(0xDA380003, 0x0D000040)  // G_MTX: limb 1's matrix
        .cmd(0x0100300A, 0x06000088)  // G_VTX: 3 vertices into slots 2-4
        .cmd(0x06000204, 0x00040608)  // G_TRI2 (0 1 2) (2 3 4)
        .cmd(0xDF000000, 0);
    return b;
}

std::string two_bone_header(uint32_t skeleton_at)
{
    char line[64];
    std::snprintf(line, sizeof line, "     #define   SKL_DEFAULT     0x06%06X\r\n", skeleton_at);
    return std::string("\r\n/* Hierarchical Display Lists * * * */\r\n"
                       "     #define   LIMB_LIMB_0     0x06000020\r\n"
                       "     #define   LIMB_LIMB_1     0x060000B8\r\n"
                       "\r\n/* Hierarchies (Skeletons) * * * */\r\n") +
           line + base_offset_line;
}

TEST(RiggedConversion, BracketedSkeletonWithARiggedMesh)
{
    RiggedConversion c(two_bone_objex, two_bone_skeleton);
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    Bytes expected = two_bone_limb_lists();
    // Limb records at 0x120: position, first child, next sibling, list.
    expected.u16(0).u16(0).u16(0).u8(1).u8(0xFF).u32(0x06000020)
        .u16(0x400).u16(0).u16(0).u8(0xFF).u8(0xFF).u32(0x060000B8)
        .u32(0x06000120).u32(0x0600012C)           // limb pointer table at 0x138
        .u32(0x06000138).u32(0x02000000).u32(0x02000000)  // skeleton header at 0x140: 2 bones, 2 lists
        .zeros(4);                                  // to 0x150
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(expected.data));
    // The rigged mesh's own group is not drawn: no plain sections at all.
    EXPECT_EQ(c.file("obj.h"), two_bone_header(0x140));
}

TEST(RiggedConversion, LinkFormatDoublesTheListPointer)
{
    RiggedConversion c(two_bone_objex, two_bone_skeleton, {"-l"});
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    Bytes expected = two_bone_limb_lists();
    // 16-byte limb records at 0x120, the list pointer twice.
    expected.u16(0).u16(0).u16(0).u8(1).u8(0xFF).u32(0x06000020).u32(0x06000020)
        .u16(0x400).u16(0).u16(0).u8(0xFF).u8(0xFF).u32(0x060000B8).u32(0x060000B8)
        .u32(0x06000120).u32(0x06000130)           // limb pointer table at 0x140, stepping by 16
        .u32(0x06000140).u32(0x02000000).u32(0x02000000)  // skeleton header at 0x148
        .zeros(12);                                 // to 0x160
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(c.file("obj.h"), two_bone_header(0x148));
}

// A plain-form skeleton: bone 1 is bone 0's child, bone 2 a second root,
// chained as bone 0's next sibling. Positions are model units, unscaled.
// The triangle over bones 0, 1 and 2 goes to bone 1 (a leaf taken before
// bone 2 in the first pass); bone 2 keeps one vertex and gets a placeholder
// that loads it three times (a, a, a).
TEST(RiggedConversion, PlainSkeletonWithTwoRoots)
{
    RiggedConversion c("skeleton s.skel\n"
                       "bone 0\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                       "bone 1\nv 0 0.5 0\n"
                       "bone 2\nv 1 1 0\n"
                       "g riggedmesh\nf 1 2 3\nf 1 4 5\n",
                       "total 3\ndefault 0\nb 0 0 0 1\n+\nb 0 100 0 0\n-\nb 50 0 0 0\n");
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    Bytes expected;
    // Limb 0 at 0x00: its own triangle under its own matrix; list at 0x30.
    bare_vertex(expected, 0, 0, 0, 0);
    bare_vertex(expected, 0x400, 0, 0, 0);
    bare_vertex(expected, 0, 0x400, 0, 0);
    expected.append(default_material())
        .cmd(0x01003006, 0x06000000)  // G_VTX: 3 vertices into slots 0-2
        .cmd(0x05000204, 0)           // G_TRI1 (0 1 2)
        .cmd(0xDF000000, 0);
    // Limb 1 at 0x80: limbs 0 and 2 first, its own last; 512 - 100 = 412 and
    // 1024 - 50 = 974 in bone space. The list at 0xB0.
    bare_vertex(expected, 0, 0, 0, 0);
    bare_vertex(expected, 974, 0x400, 0, 2);
    bare_vertex(expected, 0, 412, 0, 1);
    expected.append(default_material())
        .cmd(0xDA380003, 0x0D000000)  // limb 0
        .cmd(0x01001002, 0x06000080)  // slot 0
        .cmd(0xDA380003, 0x0D000080)  // limb 2
        .cmd(0x01001004, 0x06000090)  // slot 1
        .cmd(0xDA380003, 0x0D000040)  // limb 1
        .cmd(0x01001006, 0x060000A0)  // slot 2
        .cmd(0x05000402, 0)           // G_TRI1 (0 2 1)
        .cmd(0xDF000000, 0);
    // Limb 2 at 0x128: its one vertex; the list at 0x138.
    bare_vertex(expected, 974, 0x400, 0, 2);
    expected.append(default_material())
        .cmd(0x01001002, 0x06000128)  // G_VTX: 1 vertex into slot 0
        .cmd(0xDF000000, 0);
    // Limb records at 0x180.
    expected.u16(0).u16(0).u16(0).u8(1).u8(2).u32(0x06000030)    // bone 0: child 1, next root 2
        .u16(0).u16(100).u16(0).u8(0xFF).u8(0xFF).u32(0x060000B0)  // bone 1
        .u16(50).u16(0).u16(0).u8(0xFF).u8(0xFF).u32(0x06000138)   // bone 2
        .u32(0x06000180).u32(0x0600018C).u32(0x06000198)           // pointer table at 0x1A4
        .u32(0x060001A4).u32(0x03000000).u32(0x03000000)           // skeleton header at 0x1B0
        .zeros(4);                                                  // to 0x1C0
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(c.file("obj.h"), std::string("\r\n/* Hierarchical Display Lists * * * */\r\n"
                                           "     #define   LIMB_LIMB_0     0x06000030\r\n"
                                           "     #define   LIMB_LIMB_1     0x060000B0\r\n"
                                           "     #define   LIMB_LIMB_2     0x06000138\r\n"
                                           "\r\n/* Hierarchies (Skeletons) * * * */\r\n"
                                           "     #define   SKL_DEFAULT     0x060001B0\r\n") +
                                   base_offset_line);
}

// A rigged model beside a plain group and a collision group. The collision
// data ends at 4 mod 8; the limb's vertices and list start on the next
// 8-byte boundary.
TEST(RiggedConversion, BesideAPlainAndACollisionGroup)
{
    RiggedConversion c("skeleton s.skel\n"
                       "v 0 0 0\nv 0 0 1\nv 1 0 0\nv 1 0 1\n"
                       "bone 0\nv 0 2 0\nv 1 2 0\nv 0 3 0\n"
                       "g hat\nf 1 2 3\n"
                       "g COLLISION_floor\nf 1 2 3\nf 3 2 4\n"
                       "g riggedmesh\nf 5 6 7\n",
                       "limbs 1\n+ \"root\" {0 0 0}\n-\n");
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    Bytes expected;
    // The plain group at 0x00, drawn under its own matrix; its list at 0x30.
    bare_vertex(expected, 0, 0, 0, 0xFF);
    bare_vertex(expected, 0, 0, 0x400, 0xFF);
    bare_vertex(expected, 0x400, 0, 0, 0xFF);
    expected.append(default_material()).cmd(0x01003006, 0x06000000).cmd(0x05000204, 0).cmd(0xDF000000, 0);
    // Collision vertices at 0x80, in order of first use.
    expected.u16(0).u16(0).u16(0).u16(0).u16(0).u16(0x400).u16(0x400).u16(0).u16(0).u16(0x400).u16(0).u16(0x400)
        .u32(0).u32(0)  // one plain surface type at 0x98
        // Two polygons at 0xA0, both facing up through the origin.
        .u16(0).u16(0).u16(1).u16(2).u16(0).u16(0x7FFF).u16(0).u16(0)
        .u16(0).u16(2).u16(1).u16(3).u16(0).u16(0x7FFF).u16(0).u16(0)
        // Header at 0xC0: bounds grown by 100, counts and lists, no water boxes.
        .u16(0xFF9C).u16(0xFF9C).u16(0xFF9C).u16(0x464).u16(0x64).u16(0x464)
        .u16(4).u16(0).u32(0x06000080)
        .u16(2).u16(0).u32(0x060000A0)
        .u32(0x06000098)
        .u32(0)
        .u16(0).u16(0).u32(0x060000C0)
        .zeros(4);  // 0xEC to 0xF0
    // Limb 0 at 0xF0, its list at 0x120.
    bare_vertex(expected, 0, 0x800, 0, 0);
    bare_vertex(expected, 0x400, 0x800, 0, 0);
    bare_vertex(expected, 0, 0xC00, 0, 0);
    expected.append(default_material()).cmd(0x01003006, 0x060000F0).cmd(0x05000204, 0).cmd(0xDF000000, 0);
    // Limb record at 0x170, pointer table at 0x17C, skeleton header at 0x180.
    expected.u16(0).u16(0).u16(0).u8(0xFF).u8(0xFF).u32(0x06000120)
        .u32(0x06000170)
        .u32(0x0600017C).u32(0x01000000).u32(0x01000000)
        .zeros(4);  // to 0x190
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(c.file("obj.h"), std::string("\r\n/* Display Lists * * * */\r\n"
                                           "     #define   DL_HAT     0x06000030\r\n"
                                           "\r\n/* Collisions * * * */\r\n"
                                           "     #define   COLLISION_FLOOR     0x060000C0\r\n"
                                           "\r\n/* Hierarchical Display Lists * * * */\r\n"
                                           "     #define   LIMB_LIMB_0     0x06000120\r\n"
                                           "\r\n/* Hierarchies (Skeletons) * * * */\r\n"
                                           "     #define   SKL_DEFAULT     0x06000180\r\n") +
                                   base_offset_line);
}

// A rigged triangle with a corner that has no bone would be drawn through
// the matrix of a limb that does not exist; the message names the file
// line of that vertex (blank and comment lines counted).
TEST(RiggedConversion, VertexWithoutABoneInALimbStops)
{
    RiggedConversion c("skeleton s.skel\n"
                       "\n# the unboned one\n"
                       "v 0 0 0\n"
                       "bone 0\nv 1 0 0\nv 0 1 0\n"
                       "g riggedmesh\nf 2 1 3\n",
                       "limbs 1\n+ \"root\" {0 0 0}\n-\n");
    EXPECT_EQ(c.result.exit_code, 1);
    EXPECT_EQ(c.result.err, "Error: The vertex of line 4 (position 1) has no bone, but group 'Limb 0' draws it "
                            "through a limb matrix; the console would take the matrix of a limb that does not "
                            "exist\n");
}

// The two-bone model with an animation file: the animations stand after the
// limb lists and before the limb records. The first animation line is
// replaced by the second.
TEST(RiggedConversion, AnimatedTwoBoneModel)
{
    TempDir dir;
    write_file(dir / "in.objex", "animations old.anim\n" + two_bone_objex + "animations a.anim\n");
    write_file(dir / "s.skel", two_bone_skeleton);
    write_file(dir / "old.anim", "total 1\nframes 1 \"old\"\nr 0 0 0\nr 0 0 0\n");
    // Frame 0 raises the root by 0.1 and turns the arm by 90 degrees about x
    // and -90 about z; frame 1 raises it by 0.2 and turns the arm by 180
    // degrees about x.
    write_file(dir / "a.anim", "total 1\nframes 2 \"wave\"\n"
                               "l 0 0.1 0\nr 0 0 0\nr 1.5707963 0 -1.5707963\n"
                               "l 0 0.2 0\nr 0 0 0\nr 3.1415927 0 0\n");
    // The skeleton line must come before the animation lines.
    ProcessResult result = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "Error: The animation file 'old.anim' is named before the skeleton file 's.skel' in "
                          "'in.objex'; the skeleton line must come first, as its bones size every frame\n");

    write_file(dir / "in.objex", two_bone_objex + "animations old.anim\nanimations a.anim\n");
    result = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    ASSERT_EQ(result.exit_code, 0) << result.err;
    Bytes expected = two_bone_limb_lists();
    // Frame data at 0x120: the one constant, 0 (root x and z, all of the
    // root bone, the arm's y), then the tracks of the changing channels.
    expected.u16(0)
        .u16(102).u16(204)        // 1: root y, 0.1 and 0.2 x 1024, truncated
        .u16(0x3FFF).u16(0x7FFF)  // 3: arm x, 90 and 180 degrees
        .u16(0xBFFF).u16(0)       // 5: arm z, 270 degrees (49151.99...) and 0
        .u16(0)                   // padding to 0x130
        // Joint index table at 0x130: root x y z, root bone x y z, arm x y z.
        .u16(0).u16(1).u16(0).u16(0).u16(0).u16(0).u16(3).u16(0).u16(5)
        .u16(0)  // padding to 0x144
        // Animation header at 0x144: 2 frames, the data, the table, 1 constant.
        .u16(2).u16(0).u32(0x06000120).u32(0x06000130).u16(1).u16(0)
        .zeros(12)  // 0x154 to the limb records at 0x160
        .u16(0).u16(0).u16(0).u8(1).u8(0xFF).u32(0x06000020)
        .u16(0x400).u16(0).u16(0).u8(0xFF).u8(0xFF).u32(0x060000B8)
        .u32(0x06000160).u32(0x0600016C)                  // limb pointer table at 0x178
        .u32(0x06000178).u32(0x02000000).u32(0x02000000)  // skeleton header at 0x180
        .zeros(4);                                        // to 0x190
    EXPECT_EQ(hex_dump(read_file(dir / "out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(read_file(dir / "obj.h"), std::string("\r\n/* Hierarchical Display Lists * * * */\r\n"
                                                    "     #define   LIMB_LIMB_0     0x06000020\r\n"
                                                    "     #define   LIMB_LIMB_1     0x060000B8\r\n"
                                                    "\r\n/* Animations * * * */\r\n"
                                                    "     #define   ANIM_WAVE     0x06000144\r\n"
                                                    "\r\n/* Hierarchies (Skeletons) * * * */\r\n"
                                                    "     #define   SKL_DEFAULT     0x06000180\r\n") +
                                        base_offset_line);
}

// The bundled example is rigged and animated: it converts with its flag's
// limbs and its animation.
TEST(RiggedConversion, BundledExampleCarriesItsAnimation)
{
    TempDir dir;
    const ProcessResult r =
        run_tessaloom({"object", TESSALOOM_SOURCE_DIR "/examples/demo/demo.objex", "demo.zobj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string header = read_file(dir / "obj.h");
    EXPECT_NE(header.find("     #define   LIMB_LIMB_6     0x06"), std::string::npos) << header;
    EXPECT_NE(header.find("\r\n/* Animations * * * */\r\n     #define   ANIM_WAVE     0x06"), std::string::npos)
        << header;
}

}  // namespace

namespace {

// A bone offset or a root translation beyond 16 bits stops the conversion
// with its file and line, and no object is written.
TEST(RiggedConversion, BoneAndTranslationBeyond16BitsStop)
{
    const std::string mesh = "skeleton s.skel\nanimations a.anim\nbone 0\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                             "g riggedmesh\nf 1 2 3\n";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"limbs 1\n+ \"a\" {0 0 40}\n-\n", "total 1\nframes 1 \"a\"\nl 0 0 0\nr 0 0 0\n",
         "Bone position 40960 in line '+ \"a\" {0 0 40}' of 's.skel' lies outside the 16-bit range (-32768 to 32767)"},
        {"limbs 1\n+ \"a\" {0 0 0}\n-\n", "total 1\nframes 1 \"a\"\nl 0 40 0\nr 0 0 0\n",
         "Translation at line 3 of 'a.anim' lies at 40.0 units, 40960 after scaling by 1024; positions must fit "
         "-32768..32767. Try -s 800 or smaller."},
    };
    for (const auto& [skeleton, animation, message] : cases) {
        TempDir dir;
        write_file(dir / "in.objex", mesh);
        write_file(dir / "s.skel", skeleton);
        write_file(dir / "a.anim", animation);
        const ProcessResult r = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "Error: " + message + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "out.zobj"));
    }
}

}  // namespace
