#include <gtest/gtest.h>

#include "base/context.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t X = absent_index;
using Corners = std::array<uint16_t, 3>;

// Reads objex text from a file in a fresh folder.
struct Reading {
    HeadlessPlatform platform;
    Context ctx{platform};
    TempDir dir;
    Model model;

    Model& read(const std::string& objex)
    {
        write_file(dir / "m.objex", objex);
        read_objex(ctx, (dir / "m.objex").string(), model);
        return model;
    }
    // The message the reading stops with, with the folder cut from the file name.
    std::string error(const std::string& objex)
    {
        try {
            read(objex);
        } catch (const FatalError& e) {
            std::string text = e.what();
            const std::string prefix = (dir.path() / "").string();  // with the separator
            const size_t folder = text.find(prefix);
            return folder == std::string::npos ? text : text.erase(folder, prefix.size());
        }
        return "(no error)";
    }
};

std::array<double, 3> xyz(const Vertex& v)
{
    return {v.x, v.y, v.z};
}

TEST(ObjexReader, RecordsAreScaledRoundedAndFlipped)
{
    Reading r;
    const Model& m = r.read("v 0.5 0.0 -0.5\nv 0.00048828125 -0.00048828125 0.0014648\nv +1 0x1p-10 1e\n"
                           "vt 0.25 0.25\nvt 0.5\nvn 0.25 -1 0.5\n");
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_EQ(xyz(m.vertices[0]), (std::array{512.0, 0.0, -512.0}));
    EXPECT_EQ(xyz(m.vertices[1]), (std::array{1.0, -1.0, 1.0}));  // halves away from zero
    EXPECT_EQ(xyz(m.vertices[2]), (std::array{1024.0, 1.0, 1024.0}));  // "+1", hex and "1e" as scanf reads them
    EXPECT_EQ(m.vertices[0].bone, no_bone);
    ASSERT_EQ(m.texcoords.size(), 2u);
    EXPECT_EQ((std::array{m.texcoords[0].u, m.texcoords[0].v, m.texcoords[1].v}), (std::array{0.25f, 0.75f, 1.0f}));
    ASSERT_EQ(m.normals.size(), 1u);
    EXPECT_EQ((std::array{m.normals[0].x, m.normals[0].y, m.normals[0].z}), (std::array{0.25f, -1.0f, 0.5f}));

    Reading scaled;
    scaled.ctx.settings.scale = 2.0f;
    EXPECT_EQ(xyz(scaled.read("v 0.25 -0.25 0.75\n").vertices[0]), (std::array{1.0, -1.0, 2.0}));
}

TEST(ObjexReader, FaceFormsGiveTheseTriangles)
{
    // Position, texture coordinate and normal indices of each triangle's corners.
    using Triangles = std::vector<std::array<uint16_t, 9>>;
    const std::pair<std::string, Triangles> cases[] = {
        {"f 1 2 3", {{0, 1, 2, X, X, X, X, X, X}}},
        {"f 1//2 3//4 5//6", {{0, 2, 4, X, X, X, 1, 3, 5}}},
        {"f 1/2 3/4 5/6", {{0, 2, 4, 1, 3, 5, X, X, X}}},
        {"f 1/2/3 4/5/6 7/8/9", {{0, 3, 6, 1, 4, 7, 2, 5, 8}}},
        // Larger faces become a fan around the first corner.
        {"f 1 2 3 4", {{0, 1, 2, X, X, X, X, X, X}, {0, 2, 3, X, X, X, X, X, X}}},
        {"f 1/1/1 2/2/2 3/3/3 4/4/4 5/5/5",
         {{0, 1, 2, 0, 1, 2, 0, 1, 2}, {0, 2, 3, 0, 2, 3, 0, 2, 3}, {0, 3, 4, 0, 3, 4, 0, 3, 4}}},
        // Negative indices count back from the last record read.
        {"f -1/-2/-3 -9/-8/-7 1/2/3", {{8, 0, 0, 7, 1, 1, 6, 2, 2}}},
        // What follows the corners, as scanf would leave it, is ignored.
        {"f 1 2 3 x 4", {{0, 1, 2, X, X, X, X, X, X}}},
        {"f 1 2 3/4", {{0, 1, 2, X, X, X, X, X, X}}}};
    std::string nine_of_each;
    for (int i = 0; i < 9; ++i)
        nine_of_each += "v 0 0 0\nvt 0 0\nvn 0 0 1\n";
    for (const auto& [line, expected] : cases) {
        Reading r;
        Triangles got;
        for (const Triangle& t : r.read(nine_of_each + line + "\n").triangles)
            got.push_back({t.position[0], t.position[1], t.position[2], t.texcoord[0], t.texcoord[1], t.texcoord[2],
                           t.normal[0], t.normal[1], t.normal[2]});
        EXPECT_EQ(got, expected) << line;
    }
}

TEST(ObjexReader, FacesNameRecordsReadSoFarOrLater)
{
    Reading r;
    const Model& m = r.read("v 0 0 0\nv 0 0 0\nf -1 -2 3\nv 0 0 0\nf 3 -1 1\n");
    EXPECT_EQ(m.triangles[0].position, (Corners{1, 0, 2}));
    EXPECT_EQ(m.triangles[1].position, (Corners{2, 2, 0}));
}

TEST(ObjexReader, LinesWithoutTheirNumbersStop)
{
    Reading r;
    for (const std::string line : {"vn 1 2", "vt", "f 1 2", "f 1/1 2//2 3/3", "f 1/1/1 2/2/2 3/3/3 4/4",
                                   "v 0 nan 0", "vn 0 0 1e39", "vt 0.5 -inf", "v 1e308 0 0" /* inf once scaled */})
        EXPECT_EQ(r.error(line + "\n"), "Error parsing line: '" + line + "'");
}

TEST(ObjexReader, BadIndicesGroupPositionsAndBonesStop)
{
    const std::pair<std::string, std::string> cases[] = {
        {"v 0 0 0\nf 0 1 1", "Face index 0 names no position in line: 'f 0 1 1'"},
        {"v 0 0 0\nf 1 -2 1", "Face index -2 names no position in line: 'f 1 -2 1'"},
        {"v 0 0 0\nf 1 4 1\nf 1 9 1\nf 9 1 1", "Face index 9 names no position in line: 'f 1 9 1'"},
        {"v 0 0 0\nvt 0 0\nf 1/1 1/2 1/1", "Face index 2 names no texture coordinate in line: 'f 1/1 1/2 1/1'"},
        {"v 0 0 0\nf 1//1 1//1 1//1", "Face index 1 names no normal in line: 'f 1//1 1//1 1//1'"},
        {"g wall_POS(1,2)", "group 'wall_POS(1,2)' invalid POS arguments!"},
        {"g wall_POS(1,inf,2)", "group 'wall_POS(1,inf,2)' invalid POS arguments!"},
        {"VERTGROUPORDER 2 \"hip\" \"leg\"\nbone 2",
         "Bone line 'bone 2' names position 2, but the vertex group order holds 2 names"},
        {"VERTGROUPORDER 1\nbone 0", "Bone line 'bone 0' names position 0, but the vertex group order holds 0 names"},
        {"VERTGROUPORDER 2 \"hip\" \"leg\"\nbone 1",
         "Bone line 'bone 1' uses the vertex group order, but no skeleton with named bones was read before it"}};
    Reading r;
    for (const auto& [text, message] : cases)
        EXPECT_EQ(r.error(text + "\n"), message);
}

TEST(ObjexReader, RecordsBeyondTheDataModelStop)
{
    std::string positions, quads = "v 0 0 0\n";
    for (size_t i = 0; i <= max_vertex_records; ++i)
        positions += "v 0 0 0\n";
    for (size_t i = 0; i <= max_triangles / 2; ++i)  // two triangles each
        quads += "f 1 1 1 1\n";
    Reading r;
    EXPECT_EQ(r.error(positions), "'m.objex' has more positions than a model can hold (at most 61444)");
    EXPECT_EQ(r.error(quads), "'m.objex' has more triangles than a model can hold (at most 65535)");
}

TEST(ObjexReader, GroupsRecordTheirFirstTriangle)
{
    Reading r;
    const Model& m = r.read("v 0 0 0\nf 1 1 1\ng a\nf 1 1 1\nf 1 1 1\no\nf 1 1 1\ng b\n");
    ASSERT_EQ(m.groups.size(), 4u);
    EXPECT_EQ(m.groups[0].name, "undefined");  // made by a face before any group
    EXPECT_EQ(m.groups[1].name, "a");
    EXPECT_EQ(m.groups[2].name, "");
    EXPECT_EQ(m.group_starts, (std::vector<uint32_t>{0, 1, 3, 4}));
    EXPECT_EQ(m.file_group_count, 4);
    std::vector<uint16_t> groups;
    for (const Triangle& t : m.triangles)
        groups.push_back(t.group);
    EXPECT_EQ(groups, (std::vector<uint16_t>{0, 1, 1, 2}));

    // Without group or face lines there is one empty group, with no start entry.
    const Model& bare = r.read("v 1 2 3\n   g arm\n");  // the joined group line is part of the position line
    ASSERT_EQ(bare.groups.size(), 1u);
    EXPECT_EQ(bare.groups[0].name, "noname");
    EXPECT_TRUE(bare.group_starts.empty());
    EXPECT_EQ(bare.file_group_count, 0);
    EXPECT_TRUE(bare.skeletons.empty());
}

TEST(ObjexReader, GroupNamesGiveCollisionAndPosition)
{
    Reading r;
    const Model& m = r.read("g COLLISION_floor_POS(0,1,0)\ng Hand_R_POS(0.1,0.2,0.3)\no __a__POS( 1,2,3)x\n"
                            "g a#COLLISION\n");
    ASSERT_EQ(m.groups.size(), 4u);
    auto pos = [&m](size_t g) { return std::array{m.groups[g].pos_x, m.groups[g].pos_y, m.groups[g].pos_z}; };
    EXPECT_EQ(m.groups[0].name, "COLLISION_floor");
    EXPECT_EQ(m.groups[0].collision, 1);
    EXPECT_EQ(pos(0), (std::array{0.0f, 1024.0f, 0.0f}));
    EXPECT_EQ(m.groups[1].name, "Hand_R");
    EXPECT_EQ(m.groups[1].collision, 0);
    EXPECT_EQ(pos(1), (std::array{0.1f * 1024.0f, 0.2f * 1024.0f, 0.3f * 1024.0f}));
    EXPECT_EQ(m.groups[2].name, "__a");
    EXPECT_EQ(pos(2), (std::array{1024.0f, 2048.0f, 3072.0f}));
    EXPECT_EQ(m.groups[3].name, "a");  // the comment is gone
    EXPECT_EQ(m.groups[3].collision, 0);
}

TEST(ObjexReader, CrLfFileWithComments)
{
    Reading r;
    write_file(r.dir / "a#b.mtl", "newmtl kept\n");  // the library's name keeps its '#'
    const Model& m = r.read("# head\r\nmtllib a#b.mtl\r\ng a  \r\n\r\nv 1 2 3 # c\r\nvn 0 0 1\r\nf 1//1 1//1 1//1\r\n");
    EXPECT_EQ(xyz(m.vertices.at(0)), (std::array{1024.0, 2048.0, 3072.0}));
    EXPECT_EQ(m.triangles.at(0).normal, (Corners{0, 0, 0}));
    EXPECT_EQ(m.groups.at(0).name, "a");
    EXPECT_EQ(r.model.material_table.at(0).name, "kept");
}

TEST(ObjexReader, FacesUseTheFirstMaterialOfTheirNameOrOneDefault)
{
    Reading r;
    write_file(r.dir / "m.mtl", "newmtl skin\nnewmtl cloth\nnewmtl skin\n");
    const Model& m = r.read("mtllib m.mtl\nv 0 0 0\nf 1 1 1\nusemtl cloth\nf 1 1 1\nusemtl skin\nf 1 1 1\nusemtl nope\nf 1 1 1\n"
                            "usemtl other\nf 1 1 1\n");
    std::vector<uint16_t> materials;
    for (const Triangle& t : m.triangles)
        materials.push_back(t.material);
    EXPECT_EQ(materials, (std::vector<uint16_t>{0, 1, 0, 3, 3}));
    ASSERT_EQ(r.model.material_table.size(), 4u);
    const Material& fallback = r.model.material_table[3];
    EXPECT_EQ(fallback.name, "default");
    EXPECT_EQ((std::array{fallback.r, fallback.g, fallback.b, fallback.alpha}), (std::array{1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(fallback.texture, no_texture);
    EXPECT_EQ(fallback.geometry_mode, 0x400u);  // back faces culled
    EXPECT_EQ(fallback.unlit, 0);

    // Every face names a material: no default is added.
    r.read("mtllib m.mtl\nv 0 0 0\nf 1 1 1\n");
    EXPECT_EQ(r.model.material_table.size(), 3u);
}

TEST(ObjexReader, BoneLinesSetTheBoneOfLaterPositions)
{
    Reading r;
    const Model& m = r.read("v 0 0 0\nbone 3\nv 0 0 0\nbone\nv 0 0 0\nbone -1\nv 0 0 0\nbone 7\n"
                            "VERTGROUPORDER 0\nv 0 0 0\n");
    std::vector<uint8_t> bones;
    for (const Vertex& v : m.vertices)
        bones.push_back(v.bone);
    EXPECT_EQ(bones, (std::vector<uint8_t>{no_bone, 3, 3, no_bone, no_bone}));
}

// Skeleton 0 of these tests: bones b0 to b4, then bone 5 named leg.
const char* const six_bones = "limbs 6\n+ \"b0\" {0 0 0}\n-\n+ \"b1\" {0 0 0}\n-\n+ \"b2\" {0 0 0}\n-\n"
                              "+ \"b3\" {0 0 0}\n-\n+ \"b4\" {0 0 0}\n-\n+ \"leg\" {0 0 0}\n-\n";

TEST(ObjexReader, BoneLinesNameBonesOfTheSkeleton)
{
    Reading r;
    write_file(r.dir / "s.skel", six_bones);
    const Model& m = r.read("skeleton s.skel\nbone 4\nv 0 0 0\nVERTGROUPORDER 2 \"hip\" \"leg\"\nbone 1\nv 0 0 0\n"
                            "VERTGROUPORDER 0\nv 0 0 0\nbone -1\nbone 255\nv 0 0 0\n");
    std::vector<uint8_t> bones;
    for (const Vertex& v : m.vertices)
        bones.push_back(v.bone);
    EXPECT_EQ(bones, (std::vector<uint8_t>{4, 5, no_bone, no_bone}));
    ASSERT_EQ(m.skeletons.size(), 1u);
    EXPECT_EQ(m.skeletons[0].bones[5].name, "leg");
}

TEST(ObjexReader, BonesOutsideTheSkeletonStop)
{
    const std::pair<std::string, std::string> cases[] = {
        {"bone 6\nv 0 0 0", "Bone line 'bone 6' names a bone outside the skeleton, which has 6 bones"},
        {"bone -2\nv 0 0 0\nbone 9", "Bone line 'bone -2' names a bone outside the skeleton, which has 6 bones"},
        {"bone 256", "Bone line 'bone 256' names a bone outside the skeleton, which has 6 bones"},
        {"VERTGROUPORDER 2 \"hip\" \"leg\"\nbone 0",
         "Bone line 'bone 0' names 'hip', but no bone of the skeleton has that name"}};
    Reading r;
    write_file(r.dir / "s.skel", six_bones);
    write_file(r.dir / "plain.skel", "total 1\nb 0 0 0 0\n");
    for (const auto& [text, message] : cases)
        EXPECT_EQ(r.error("skeleton s.skel\n" + text + "\n"), message);
    // The bone may come before the skeleton line; it is checked once the file is read.
    EXPECT_EQ(r.error("bone 1\nskeleton plain.skel\n"),
              "Bone line 'bone 1' names a bone outside the skeleton, which has 1 bones");
    EXPECT_EQ(r.error("skeleton plain.skel\nVERTGROUPORDER 1 \"a\"\nbone 0\n"),
              "Bone line 'bone 0' uses the vertex group order, but no skeleton with named bones was read before it");
    EXPECT_EQ(r.error("skeleton none.skel\n"), "Couldn't open 'none.skel'!");
}

TEST(ObjexReader, NamedFilesResolveAgainstTheGeometryFolder)
{
    const std::array<std::string, 3> cases[] = {
        {"models/a.objex", "b.mtl", "models/b.mtl"}, {"a.objex", "b.mtl", "b.mtl"},
        {"dir\\a.objex", "t/b.mtl", "dir\\t/b.mtl"}, {"/a.objex", "b.mtl", "/b.mtl"},
        {"m/a.objex", "/abs/b.mtl", "/abs/b.mtl"},   {"m/a.objex", "C:/x.mtl", "C:/x.mtl"}};
    for (const auto& [geometry, named, resolved] : cases)
        EXPECT_EQ(resolve_relative(geometry, named), resolved) << geometry << " + " << named;

    // The named files are opened beside the geometry file.
    Reading r;
    write_file(r.dir / "no.mtl", "");
    write_file(r.dir / "no.skel", "total 1\nb 0 0 0 0\n");
    write_file(r.dir / "no.anim", "total 1\n");
    EXPECT_EQ(r.read("mtllib no.mtl\nskeleton no.skel\nanimations no.anim\ns 1\nv 1 1 1\n").vertices.size(), 1u);
    EXPECT_EQ(r.model.skeletons.size(), 1u);
}

TEST(ObjexReader, AFolderNamedAsAFileCannotBeOpened)
{
    Reading r;
    std::filesystem::create_directories(r.dir / "sub");
    EXPECT_EQ(r.error("mtllib sub\n"), "Couldn't open 'sub'!");
    EXPECT_EQ(r.error("mtllib\n"), "Couldn't open ''!");  // the geometry's own folder
}

TEST(ObjexReader, ConversionStopsOnAMissingFile)
{
    TempDir dir;
    const ProcessResult r = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Error: Couldn't open 'in.objex'!\n");
}

}  // namespace

namespace {

TEST(ObjexReader, PositionBeyond16BitsNamesItsLineAndAScaleThatFits)
{
    Reading r;
    // The first position that does not fit is named; the farthest one of the
    // file (-50 units, -51200) decides the scale: 32768 / 50 = 655.4.
    EXPECT_EQ(r.error("# ship\r\n\r\nv 1 2 3\r\n   \r\nv 0 40 0 # far\r\nv 0 -50 0\r\nv 32 0 0\r\n"),
              "Vertex at line 5 of 'm.objex' lies at 40.0 units, 40960 after scaling by 1024; positions must fit "
              "-32768..32767. Try -s 650 or smaller.");
    // The edges of the range still fit: 31.999 x 1024 = 32766.98 rounds to 32767.
    Reading edge;
    EXPECT_EQ(xyz(edge.read("v 31.999 -32 0\n").vertices[0]), (std::array{32767.0, -32768.0, 0.0}));
    Reading scaled;
    scaled.ctx.settings.scale = 1.0f;
    EXPECT_EQ(scaled.error("v 0 0 32767.5\n"),
              "Vertex at line 1 of 'm.objex' lies at 32767.5 units, 32768 after scaling by 1; positions must fit "
              "-32768..32767. Try -s 0.95 or smaller.");
}

// The triangles of a face: position, texture coordinate and normal of each corner.
std::vector<std::array<uint16_t, 9>> corner_indices(const Model& m)
{
    std::vector<std::array<uint16_t, 9>> out;
    for (const Triangle& t : m.triangles)
        out.push_back({t.position[0], t.position[1], t.position[2], t.texcoord[0], t.texcoord[1], t.texcoord[2],
                       t.normal[0], t.normal[1], t.normal[2]});
    return out;
}

TEST(ObjexReader, ConcaveFacesAreSplitOnceTheirPositionsAreKnown)
{
    // The dart quad, named before its positions: cut at its ear, corner 1,
    // each corner keeping its texture coordinate and normal. The convex
    // quad after it keeps the fan, and so does a face of one point.
    Reading r;
    const Model& m = r.read("vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\nvn 0 0 1\nvn 0 0 1\nvn 0 0 1\n"
                            "f 1/1/1 2/2/2 3/3/3 4/4/4\n"
                            "f 1/1/4 4/4/3 5/3/2 6/2/1\n"
                            "f 7 7 7 7\n"
                            "v 4 0 0\nv 1 1 0\nv 0 4 0\nv 0 0 0\nv 0 -1 0\nv 4 -1 0\nv 9 9 9\n");
    EXPECT_EQ(corner_indices(m), (std::vector<std::array<uint16_t, 9>>{
                                     {3, 0, 1, 3, 0, 1, 3, 0, 1},  // the ear at corner 1
                                     {3, 1, 2, 3, 1, 2, 3, 1, 2},  // what is left
                                     {0, 3, 4, 0, 3, 2, 3, 2, 1},  // the fan of the convex quad
                                     {0, 4, 5, 0, 2, 1, 3, 1, 0},
                                     {6, 6, 6, X, X, X, X, X, X},
                                     {6, 6, 6, X, X, X, X, X, X}}));
}

}  // namespace
