// Whole conversions through the real executable, compared byte for byte with
// objects and header texts laid out by hand.
#include <gtest/gtest.h>

#include <stb_image_write.h>

#include "support/bytes.h"
#include "support/test_support.h"

namespace {

const std::string one_triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\ng tri\nf 1 2 3\n";

// The three vertices of one_triangle at scale 1024 and its list, loaded from
// `vertices_at` (a segment address).
Bytes triangle_object(uint32_t vertices_at, int16_t one = 0x400)
{
    return Bytes()
        .vertex(0, 0, 0, 0xFF, 0, 0, 0, 0, 0)
        .vertex(one, 0, 0, 0xFF, 0, 0, 0, 0, 0)
        .vertex(0, one, 0, 0xFF, 0, 0, 0, 0, 0)
        .append(default_material())
        .cmd(0x01003006, vertices_at)  // G_VTX: 3 vertices into slots 0-2
        .cmd(0x05000204, 0)            // G_TRI1 0, 1, 2
        .cmd(0xDF000000, 0);           // G_ENDDL
}

struct Conversion {
    TempDir dir;
    ProcessResult result;

    Conversion(const std::string& objex, std::vector<std::string> switches, const std::string& output = "out.zobj")
    {
        write_file(dir / "in.objex", objex);
        std::vector<std::string> args = {"object", "in.objex", output};
        args.insert(args.end(), switches.begin(), switches.end());
        result = run_tessaloom(args, dir.path());
    }
    std::string file(const std::string& name) const { return read_file(dir / name); }
};

const char* const success = "\n/*** ZOBJ compiled successfully! ***/\n";

TEST(Conversion, OneUntexturedTriangle)
{
    Conversion c(one_triangle, {});
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    // 48 bytes of vertices, the list at 0x30, 128 bytes in all (already a multiple of 16).
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(triangle_object(0x06000000).data));
    const std::string header = "\r\n/* Display Lists * * * */\r\n"
                               "     #define   DL_TRI     0x06000030\r\n"
                               "\r\n/* Collisions * * * */\r\n"
                               "\r\n/* Base Offset: 0x06000000 */\r\n";
    EXPECT_EQ(c.file("obj.h"), header);
    EXPECT_EQ(c.result.out, header + success);
    EXPECT_EQ(c.result.err, "");
}

TEST(Conversion, TwoGroupsWithOffsetAndScale)
{
    Conversion c("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\ng a\nf 1 2 3\ng b\nf 1//1 2//1 3//1\n",
                 {"-o", "1000", "-s", "1/2"});
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    // At scale 0.5 a coordinate of 1 is half a unit and rounds away from zero to 1.
    Bytes expected = triangle_object(0x06001000, 1);
    expected.vertex(0, 0, 0, 0xFF, 0, 0, 0, 0, 127)  // group b at 0x80: the same positions, with a normal
        .vertex(1, 0, 0, 0xFF, 0, 0, 0, 0, 127)
        .vertex(0, 1, 0, 0xFF, 0, 0, 0, 0, 127)
        .append(default_material())  // every list opens with the whole material state
        .cmd(0x01003006, 0x06001080)
        .cmd(0x05000204, 0)
        .cmd(0xDF000000, 0);
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(c.file("obj.h"), "\r\n/* Display Lists * * * */\r\n"
                               "     #define   DL_A     0x06000030\r\n"
                               "     #define   DL_B     0x060000B0\r\n"
                               "\r\n/* Collisions * * * */\r\n"
                               "\r\n/* Base Offset: 0x06001000 */\r\n");
}

TEST(Conversion, PositionPointIsSubtractedAndCutFromTheName)
{
    // POS(0.5,0,0) is 512 units along x: the vertex at x = 0.5 lands at 0.
    Conversion c("v 0.5 0 0\nv 1 0 0\nv 0.5 1 0\ng 2hand__POS(0.5,0,0)\nf 1 2 3\n", {});
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    const std::string object = c.file("out.zobj");
    EXPECT_EQ(hex_dump(object.substr(0, 48)), hex_dump(Bytes()
                                                           .vertex(0, 0, 0, 0xFF, 0, 0, 0, 0, 0)
                                                           .vertex(0x200, 0, 0, 0xFF, 0, 0, 0, 0, 0)
                                                           .vertex(0, 0x400, 0, 0xFF, 0, 0, 0, 0, 0)
                                                           .data));
    // A name that starts with a digit gets an underscore in front.
    EXPECT_NE(c.file("obj.h").find("     #define   DL__2HAND     0x06000030\r\n"), std::string::npos);
}

TEST(Conversion, ListingWithoutHeaderFile)
{
    Conversion c("v 0 0 0\nv 1 0 0\nv 0 1 0\ng 2hand\nf 1 2 3\n", {"-nh"});
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    EXPECT_EQ(c.result.out, "\r\n ~ Display Lists ~ ~ ~ ~\r\n"
                            "     0x06000030    2hand\r\n"
                            "\r\n ~ Collisions ~ ~ ~ ~\r\n"
                            "\r\n ~ Base Offset: 0x06000000 ~ ~\r\n"
                            "\n ~~~ ZOBJ compiled successfully! ~~~\n");
    EXPECT_EQ(list_files(c.dir.path()), (std::vector<std::filesystem::path>{"in.objex", "out.zobj"}));
}

TEST(Conversion, EmbeddedCArray)
{
    Conversion c(one_triangle, {"-cz", "-p", "-o", "80000000"}, "out.h");
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    EXPECT_EQ(c.result.err, "Information: Conversion successful!\n");
    // Always segment 6, no play-as data, no object file.
    const std::string object = triangle_object(0x06000000).data;
    std::string array = "\nu32 zobj[]={";
    for (size_t at = 0; at < object.size(); at += 4) {
        char item[16];
        const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(object[at + i])); };
        std::snprintf(item, sizeof item, "0x%08X", b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
        // The vertex address of G_VTX (at 0x6C) was recorded as a pointer.
        array += (at == 0 ? "" : ",") + std::string(at == 0x6C ? "(u32)(zobj+0)" : item);
    }
    array += "};";
    const std::string lines = "\r\n/* Display Lists * * * */\r\n"
                              "     #define   DL_TRI     (u32)(zobj+12)\r\n"
                              "\r\n/* Collisions * * * */\r\n";
    const std::string base = "\r\n/* Base Offset: 0x06000000 */\r\n";
    EXPECT_EQ(c.file("out.h"), lines + array + base);
    EXPECT_EQ(c.result.out, lines + base + success);
    EXPECT_EQ(list_files(c.dir.path()), (std::vector<std::filesystem::path>{"in.objex", "out.h"}));

    Conversion quiet(one_triangle, {"-cz", "-nh"}, "out.h");
    EXPECT_EQ(quiet.result.exit_code, 0);
    EXPECT_EQ(quiet.result.err, "Information: Conversion successful!\n");
    EXPECT_EQ(list_files(quiet.dir.path()), (std::vector<std::filesystem::path>{"in.objex"}));
}

TEST(Conversion, PlayAsManifestFollowsTheObject)
{
    Conversion c("v 0 0 0\nv 1 0 0\nv 0 1 0\ng head,face|extra\nf 1 2 3\n", {"-p"});
    ASSERT_EQ(c.result.exit_code, 0) << c.result.err;
    const Bytes expected = Bytes()
                               .append(triangle_object(0x06000000))
                               .text("!PlayAsManifest0")
                               .u16(2)  // entries
                               .text(std::string("head\0", 5))
                               .u32(0x30)
                               .text(std::string("face\0", 5))
                               .u32(0x30)
                               .u16(0)    // records
                               .u8(10)    // 166 bytes so far: 10 to the boundary
                               .text("!EndPlayA");
    EXPECT_EQ(hex_dump(c.file("out.zobj")), hex_dump(expected.data));
    EXPECT_NE(c.file("obj.h").find("     #define   DL_HEAD_FACE_EXTRA     0x06000030\r\n"), std::string::npos);
}

TEST(Conversion, DrawnGroupAndCollisionGroupWithWater)
{
    TempDir dir;
    write_file(dir / "m.mtl", "newmtl floor.SOUND_GRASS\nnewmtl pool.WATERBOX\n");
    write_file(dir / "in.objex",
               "mtllib m.mtl\n"
               "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
               "v 0 0.25 0\nv 1 0.25 0\nv 0 0.25 1\nv 1 0.5 1\n"
               "g tri\nusemtl floor.SOUND_GRASS\nf 1 2 3\n"
               "g COLLISION_ground\nf 1 4 2\nusemtl pool.WATERBOX\nf 5 6 7\nf 6 8 7\n");
    const ProcessResult r = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;

    const Bytes expected =
        Bytes()
            .append(triangle_object(0x06000000))  // the drawn group, 0x00-0x80
            // Collision vertices at 0x80, in order of first use.
            .u16(0).u16(0).u16(0)
            .u16(0).u16(0).u16(0x400)
            .u16(0x400).u16(0).u16(0)
            .u16(0).u16(0x100).u16(0)
            .u16(0x400).u16(0x100).u16(0)
            .u16(0).u16(0x100).u16(0x400)
            .u16(0x400).u16(0x200).u16(0x400)
            .zeros(2)
            // Surface types at 0xAC: grass, then water.
            .u32(0).u32(0x00000006)
            .u32(0).u32(0)
            // One polygon at 0xBC: type 0, corners 0 1 2, facing up, through the origin.
            .u16(0).u16(0).u16(1).u16(2).u16(0).u16(0x7FFF).u16(0).u16(0)
            // One water box at 0xCC over both water triangles: x 0, y (341 + 256) / 2, z 0,
            // 1024 by 1024, then the type's low word and two bytes to a 16-byte pitch.
            .u16(0).u16(298).u16(0).u16(0x400).u16(0x400).u16(0).u16(0).zeros(2)
            // Header at 0xDC: bounds grown by 100, then counts and lists.
            .u16(0xFF9C).u16(0xFF9C).u16(0xFF9C).u16(0x464).u16(0x264).u16(0x464)
            .u16(7).u16(0).u32(0x06000080)
            .u16(1).u16(0).u32(0x060000BC)
            .u32(0x060000AC)
            .u32(0)
            .u16(1).u16(0).u32(0x060000CC)
            .zeros(8);  // to 0x110
    EXPECT_EQ(hex_dump(read_file(dir / "out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(read_file(dir / "obj.h"), "\r\n/* Display Lists * * * */\r\n"
                                        "     #define   DL_TRI     0x06000030\r\n"
                                        "\r\n/* Collisions * * * */\r\n"
                                        "     #define   COLLISION_GROUND     0x060000DC\r\n"
                                        "\r\n/* Base Offset: 0x06000000 */\r\n");
}

// Positions that do not fit the object's 16-bit fields: each stage that
// narrows one stops with its place, its value and a scale at which the model
// fits, and no object is written.
TEST(Conversion, PositionsBeyond16BitsStopWithAScaleToTry)
{
    const std::pair<std::string, std::string> cases[] = {
        // A vertex: 40 x 1024 = 40960.
        {"v 0 0 0\nv 1 0 0\nv 40 0 0\ng tri\nf 1 2 3\n",
         "Vertex at line 3 of 'in.objex' lies at 40.0 units, 40960 after scaling by 1024; positions must fit "
         "-32768..32767. Try -s 800 or smaller."},
        // In range, but not from the group's POS point: 30720 + 10240. The
        // second vertex lies farther, at 41984: 32767 / 41984 x 1024 = 799.2.
        {"v 30 0 0\nv 31 0 0\nv 30 1 0\ng arm_POS(-10,0,0)\nf 1 2 3\n",
         "Vertex 1 of group 'arm' lies at 40.0 units from the group's POS point, 40960 after scaling by 1024; "
         "positions must fit -32768..32767. Try -s 750 or smaller."},
        // A collision vertex from its group's POS point.
        {"v 0 0 0\nv 1 0 0\nv 0 0 1\ng COLLISION_floor_POS(0,-40,0)\nf 1 2 3\n",
         "Vertex 1 of collision group 'COLLISION_floor' lies at 40.0 units from the group's POS point, 40960 after "
         "scaling by 1024; positions must fit -32768..32767. Try -s 800 or smaller."},
    };
    for (const auto& [objex, message] : cases) {
        Conversion c(objex, {});
        EXPECT_EQ(c.result.exit_code, 1) << objex;
        EXPECT_EQ(c.result.err, "Error: " + message + "\n");
        EXPECT_FALSE(std::filesystem::exists(c.dir / "out.zobj")) << objex;
    }
    // At the suggested scale the first model converts.
    Conversion fits("v 0 0 0\nv 1 0 0\nv 40 0 0\ng tri\nf 1 2 3\n", {"-s", "800"});
    EXPECT_EQ(fits.result.exit_code, 0) << fits.result.err;
}

TEST(Conversion, FailureLeavesEarlierOutputUntouched)
{
    TempDir dir;
    write_file(dir / "in.objex", "v 0 0 0\nf 1 1 1\n");
    write_file(dir / "out.zobj", "earlier object");
    write_file(dir / "out.h", "earlier C array");
    write_file(dir / "bad.objex", "v 0 0 0\nf 1 1 7\n");

    const ProcessResult bad = run_tessaloom({"object", "bad.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_EQ(read_file(dir / "out.zobj"), "earlier object");
    const ProcessResult bad_c = run_tessaloom({"object", "bad.objex", "out.h", "-cz"}, dir.path());
    EXPECT_EQ(bad_c.exit_code, 1);
    EXPECT_EQ(read_file(dir / "out.h"), "earlier C array");
    // A failed run makes no header file either; no partial file is left.
    EXPECT_EQ(list_files(dir.path()),
              (std::vector<std::filesystem::path>{"bad.objex", "in.objex", "out.h", "out.zobj"}));

    const ProcessResult unwritable = run_tessaloom({"object", "in.objex", "missing/out.zobj", "-nh"}, dir.path());
    EXPECT_EQ(unwritable.exit_code, 1);
    EXPECT_EQ(unwritable.err, "Error: Couldn't create 'missing/out.zobj'!\n");
}

// The header that matches an object stays beside it when a later conversion
// fails, even one that fails after writing header text: the text reached
// standard output, the file is untouched and no temporary file is left.
TEST(Conversion, FailureLeavesTheEarlierHeaderAndObjectByteForByte)
{
    TempDir dir;
    write_file(dir / "in.objex", one_triangle);
    const ProcessResult good = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    ASSERT_EQ(good.exit_code, 0) << good.err;
    const std::string object = read_file(dir / "out.zobj");
    const std::string header = read_file(dir / "obj.h");
    ASSERT_FALSE(header.empty());

    // The object is written last, so a folder in its place fails the run
    // after the whole header text was produced.
    std::filesystem::create_directory(dir / "taken");
    const ProcessResult late = run_tessaloom({"object", "in.objex", "taken"}, dir.path());
    EXPECT_EQ(late.exit_code, 1);
    EXPECT_NE(late.out.find(header), std::string::npos) << late.out;
    // A failure while reading, before any header text.
    write_file(dir / "bad.objex", "v 0 0 0\nf 1 1 7\n");
    const ProcessResult early = run_tessaloom({"object", "bad.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(early.exit_code, 1);

    EXPECT_EQ(read_file(dir / "obj.h"), header);
    EXPECT_EQ(read_file(dir / "out.zobj"), object);
    EXPECT_EQ(list_files(dir.path()),
              (std::vector<std::filesystem::path>{"bad.objex", "in.objex", "obj.h", "out.zobj", "taken"}));
}

// A file named by another is quoted as that file wrote the name, though it is
// opened beside the file that names it; a device or a folder named as a file
// is refused at once instead of being read without end.
TEST(Conversion, NamedFilesAreQuotedAsWrittenAndOnlyRegularFilesAreRead)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "lib");
    write_file(dir / "lib/odd.png", "");  // replaced below by a 4 x 5 image
    {
        std::vector<uint8_t> pixels(4 * 5 * 4, 0x80);
        ASSERT_NE(stbi_write_png((dir / "lib/odd.png").string().c_str(), 4, 5, 4, pixels.data(), 16), 0);
    }
    write_file(dir / "lib/m.mtl", "newmtl m\nmap_Kd odd.png\n");
    write_file(dir / "lib/gone.mtl", "newmtl m\nmap_Kd gone.png\n");
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\ng tri\nusemtl m\nf 1/1 2/2 3/3\n";
    write_file(dir / "in.objex", "mtllib lib/m.mtl\n" + triangle);
    write_file(dir / "gone.objex", "mtllib lib/gone.mtl\n" + triangle);
    write_file(dir / "zero.objex", "mtllib /dev/zero\n" + triangle);
    write_file(dir / "folder.objex", "mtllib lib\n" + triangle);

    const ProcessResult warned = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(warned.exit_code, 0) << warned.err;
    EXPECT_EQ(warned.err, "Warning: Dimensions of 'odd.png' are NPOT (4x5), attempting to resize now...\n");
    const ProcessResult gone = run_tessaloom({"object", "gone.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(gone.err, "Error: Failed to load 'gone.png'!\n");
    const ProcessResult zero = run_tessaloom({"object", "zero.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(zero.err, "Error: Couldn't open '/dev/zero'!\n");
    const ProcessResult folder = run_tessaloom({"object", "folder.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(folder.err, "Error: Couldn't open 'lib'!\n");
}

// Texture images load while the geometry is read, yet the messages come as
// if each were loaded at its reference: warnings in reference order, and
// an image that fails stops the conversion before any later line can.
TEST(Conversion, ImageMessagesKeepTheirPlaceAmongTheReadersMessages)
{
    TempDir dir;
    std::vector<uint8_t> pixels(3 * 5 * 4, 0x80);
    for (const char* odd : {"a.png", "b.png"}) {
        pixels[0] = static_cast<uint8_t>(odd[0]);  // two images, not one shared
        ASSERT_NE(stbi_write_png((dir / odd).string().c_str(), 3, 5, 4, pixels.data(), 12), 0);
    }
    write_file(dir / "m.mtl", "newmtl a\nmap_Kd a.png\nnewmtl gone\nmap_Kd gone.png\nnewmtl b\nmap_Kd b.png\n");
    write_file(dir / "ab.mtl", "newmtl a\nmap_Kd a.png\nnewmtl b\nmap_Kd b.png\n");
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\ng tri\nf 1 2 3\n";
    write_file(dir / "gone.objex", "mtllib m.mtl\n" + triangle + "f 1 2 x\n");
    write_file(dir / "late.objex", "mtllib ab.mtl\n" + triangle + "f 1 2 x\nmtllib m.mtl\n");
    write_file(dir / "bad_skeleton.objex", "mtllib m.mtl\nskeleton missing.skel\n" + triangle);

    const std::string warn_a = "Warning: Dimensions of 'a.png' are NPOT (4x5), attempting to resize now...\n";
    const std::string warn_b = "Warning: Dimensions of 'b.png' are NPOT (4x5), attempting to resize now...\n";
    const std::pair<const char*, std::string> cases[] = {
        {"gone.objex", warn_a + "Error: Failed to load 'gone.png'!\n"},
        {"late.objex", warn_a + warn_b + "Error parsing line: 'f 1 2 x'\n"},
        {"bad_skeleton.objex", warn_a + "Error: Failed to load 'gone.png'!\n"},
    };
    for (const auto& [model, err] : cases) {
        const ProcessResult r = run_tessaloom({"object", model, "out.zobj"}, dir.path());
        EXPECT_EQ(r.exit_code, 1) << model;
        EXPECT_EQ(r.err, err) << model;
    }
}

// An object that cannot be moved into place (here a folder stands there) is
// a failure, and standard output does not call it a success first.
TEST(Conversion, NoSuccessLineWhenTheObjectCannotBePutInPlace)
{
    TempDir dir;
    write_file(dir / "in.objex", one_triangle);
    std::filesystem::create_directory(dir / "taken");
    for (const char* embed_c : {"", "-cz"}) {
        std::vector<std::string> args = {"object", "in.objex", "taken"};
        if (*embed_c != '\0')
            args.push_back(embed_c);
        const ProcessResult r = run_tessaloom(args, dir.path());
        EXPECT_EQ(r.exit_code, 1) << embed_c;
        EXPECT_EQ(r.err, "Error: Couldn't write 'taken'!\n") << embed_c;
        EXPECT_EQ(r.out.find("compiled successfully"), std::string::npos) << r.out;
    }
}

}  // namespace
