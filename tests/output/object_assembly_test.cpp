// The skeleton parts of the object, on rigged models built by hand.
#include <gtest/gtest.h>

#include "base/context.h"
#include "model/model.h"
#include "output/object_assembly.h"
#include "platform/headless.h"
#include "support/bytes.h"
#include "support/test_support.h"

namespace {

// A rigged model as the limb split leaves it: one ordinary group (the rigged
// mesh, its entry marked) and one limb group per bone. Bones 0 and 2 own a
// triangle each; bone 1 owns none.
Bone bone_at(int16_t x, int16_t y, int16_t z)
{
    Bone b;
    b.x = x;
    b.y = y;
    b.z = z;
    return b;
}

Model three_bone_model()
{
    Model m;
    for (int i = 0; i < 6; ++i)
        m.vertices.push_back(Vertex{double(i), 0, 0, static_cast<uint8_t>(i < 3 ? 0 : 2)});
    m.groups = {Group{"riggedmesh"}, Group{"Limb 0"}, Group{"Limb 1"}, Group{"Limb 2"}};
    Triangle t0, t2;
    t0.position = {0, 1, 2};
    t0.group = 1;
    t2.position = {3, 4, 5};
    t2.group = 3;
    m.triangles = {t0, t2, t0, t2};  // the mesh's own two, then the limbs' copies
    m.group_starts = {0 | group_start_moved, 2, 3, 3};
    m.file_group_count = 1;
    Skeleton s;
    s.bones.resize(3);
    s.bones[0] = bone_at(10, -20, 30);
    s.bones[0].first_child = 1;
    s.bones[1] = bone_at(1, 2, 3);
    s.bones[1].parent = 0;
    s.bones[1].next_sibling = 2;
    s.bones[2] = bone_at(-1, 0, 0x7FFF);
    s.bones[2].parent = 0;
    m.skeletons.push_back(s);
    return m;
}

struct Assembly {
    HeadlessPlatform platform;
    Context ctx{platform};
    TempDir dir;
    Model model = three_bone_model();
    std::string object;
    std::string header;

    explicit Assembly(bool link_format)
    {
        model.material_table.push_back(Material{});
        ctx.settings.base_offset = 0x06000000;
        ctx.log.echo = nullptr;
        const std::string header_path = (dir / "obj.h").string();
        open_log(ctx.log, &header_path);
        assemble_object(ctx, model, (dir / "out.zobj").string(), link_format, false);
        close_log(ctx.log);
        object = read_file(dir / "out.zobj");
        header = read_file(dir / "obj.h");
    }
};

TEST(SkeletonAssembly, LimbsWithTrianglesAreNumberedInBoneOrder)
{
    Assembly a(false);
    const std::vector<Bone>& bones = a.model.skeletons[0].bones;
    EXPECT_EQ(bones[0].limb_index, 0);
    EXPECT_EQ(bones[1].limb_index, 0xFF);
    EXPECT_EQ(bones[2].limb_index, 1);
    EXPECT_EQ(bones[0].display_list % 8, 0u);
    EXPECT_EQ(bones[1].display_list, 0xFFFFFFFFu);
    // Lists come in bone order; the limb groups carry them too.
    EXPECT_LT(bones[0].display_list, bones[2].display_list);
    EXPECT_EQ(a.model.groups[3].display_list, bones[2].display_list);

    // The marked rigged mesh gets neither list banner.
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "\r\n/* Hierarchical Display Lists * * * */\r\n"
                  "     #define   LIMB_LIMB_0     0x06%06X\r\n"
                  "     #define   LIMB_LIMB_2     0x06%06X\r\n"
                  "\r\n/* Hierarchies (Skeletons) * * * */\r\n"
                  "     #define   SKL_DEFAULT     0x06%06zX\r\n"
                  "\r\n/* Base Offset: 0x06000000 */\r\n",
                  bones[0].display_list, bones[2].display_list, a.object.size() - 16);
    EXPECT_EQ(a.header, expected);
}

TEST(SkeletonAssembly, RecordsTableAndHeader)
{
    Assembly a(false);
    const std::vector<Bone>& bones = a.model.skeletons[0].bones;
    // 3 records of 12 bytes, 3 table words, a 12-byte header: 60 bytes from a
    // 16-byte boundary, then 4 bytes of padding.
    const uint32_t records = static_cast<uint32_t>(a.object.size()) - 64;
    EXPECT_EQ(records % 16, 0u);
    const Bytes expected = Bytes()
                               .u16(10).u16(0xFFEC).u16(30).u8(1).u8(0xFF).u32(0x06000000 + bones[0].display_list)
                               .u16(1).u16(2).u16(3).u8(0xFF).u8(2).u32(0)  // no list
                               .u16(0xFFFF).u16(0).u16(0x7FFF).u8(0xFF).u8(0xFF).u32(0x06000000 + bones[2].display_list)
                               .u32(0x06000000 + records)       // the table
                               .u32(0x06000000 + records + 12)
                               .u32(0x06000000 + records + 24)
                               .u32(0x06000000 + records + 36)  // header: the table's address
                               .u32(0x03000000)                 // 3 bones
                               .u32(0x02000000)                 // 2 with a list
                               .zeros(4);
    EXPECT_EQ(hex_dump(a.object.substr(records)), hex_dump(expected.data));
    for (uint32_t pointer : {records + 8, records + 32, records + 36, records + 40, records + 44, records + 48})
        EXPECT_TRUE(is_pointer_position(a.ctx.pointer_positions, pointer)) << pointer;
    EXPECT_FALSE(is_pointer_position(a.ctx.pointer_positions, records + 20));
}

TEST(SkeletonAssembly, LinkFormatRepeatsThePointer)
{
    Assembly a(true);
    const std::vector<Bone>& bones = a.model.skeletons[0].bones;
    // 3 records of 16 bytes, the table and the header: 72 bytes, then 8 of padding.
    const uint32_t records = static_cast<uint32_t>(a.object.size()) - 80;
    const uint32_t list0 = 0x06000000 + bones[0].display_list;
    const Bytes expected = Bytes()
                               .u16(10).u16(0xFFEC).u16(30).u8(1).u8(0xFF).u32(list0).u32(list0)
                               .u16(1).u16(2).u16(3).u8(0xFF).u8(2).u32(0).u32(0)
                               .u16(0xFFFF).u16(0).u16(0x7FFF).u8(0xFF).u8(0xFF)
                               .u32(0x06000000 + bones[2].display_list).u32(0x06000000 + bones[2].display_list)
                               .u32(0x06000000 + records)
                               .u32(0x06000000 + records + 16)
                               .u32(0x06000000 + records + 32)
                               .u32(0x06000000 + records + 48)
                               .u32(0x03000000)
                               .u32(0x02000000)
                               .zeros(8);
    EXPECT_EQ(hex_dump(a.object.substr(records)), hex_dump(expected.data));
    EXPECT_TRUE(is_pointer_position(a.ctx.pointer_positions, records + 12));
}

TEST(Assembly, GroupsBeyondTriangle32767AreDrawn)
{
    HeadlessPlatform platform;
    Context ctx{platform};
    TempDir dir;
    ctx.settings.base_offset = 0x06000000;
    ctx.log.echo = nullptr;
    const std::string header_path = (dir / "obj.h").string();
    open_log(ctx.log, &header_path);

    Model m;
    m.material_table.push_back(Material{});
    m.vertices = {Vertex{0, 0, 0}, Vertex{1, 0, 0}, Vertex{0, 1, 0}};
    Triangle t;
    t.position = {0, 1, 2};
    m.triangles.assign(40001, t);
    m.triangles.back().group = 1;
    m.groups = {Group{"a"}, Group{"b"}};
    m.group_starts = {0, 40000};  // b starts where a 16-bit entry would have its top bit set
    m.file_group_count = 2;
    assemble_object(ctx, m, (dir / "out.zobj").string(), false, false);
    close_log(ctx.log);
    EXPECT_EQ(m.groups[0].display_list % 8, 0u);
    EXPECT_EQ(m.groups[1].display_list % 8, 0u);
    EXPECT_NE(read_file(dir / "obj.h").find("DL_B "), std::string::npos);
}

// A skeleton without its limb groups is a fault of an earlier stage: it is
// reported, not written past the group table.
TEST(SkeletonAssembly, MissingLimbGroupsStop)
{
    HeadlessPlatform platform;
    Context ctx{platform};
    ctx.log.echo = nullptr;
    TempDir dir;
    Model model = three_bone_model();
    model.material_table.push_back(Material{});
    model.skeletons[0].bones.emplace_back();  // a fourth bone, without triangles or group
    try {
        assemble_object(ctx, model, (dir / "out.zobj").string(), false, false);
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "The skeleton has 4 bones, but only 3 limb groups follow the model's 1 groups");
    }
}

}  // namespace
