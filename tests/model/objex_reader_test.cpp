#include <gtest/gtest.h>

#include "driver/context.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t X = absent_index;
using Corners = std::array<uint16_t, 3>;

// Reads `objex` from a file in a fresh folder.
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
    // The message the reading stops with, the folder's path cut away.
    std::string error(const std::string& objex)
    {
        try {
            read(objex);
        } catch (const FatalError& e) {
            std::string text = e.what();
            const std::string folder = dir.path().string() + "/";
            for (size_t at; (at = text.find(folder)) != std::string::npos;)
                text.erase(at, folder.size());
            return text;
        }
        return "(no error)";
    }
};

Material named(const char* name)
{
    Material material;
    material.name = name;
    return material;
}

// Nine of each record, so any corner form can name indices 1 to 9.
std::string nine_of_each()
{
    std::string text;
    for (int i = 1; i <= 9; ++i)
        text += "v " + std::to_string(i) + " 0 0\nvt 0 0\nvn 0 0 1\n";
    return text;
}

TEST(ObjexReader, PositionsAreScaledAndRoundedHalfAwayFromZero)
{
    Reading r;
    const Model& m = r.read("v 0.5 0.0 -0.5\nv 0.00048828125 -0.00048828125 0.0014648\nv +1 0x1p-10 1e\n");
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_EQ((std::array{m.vertices[0].x, m.vertices[0].y, m.vertices[0].z}), (std::array{512.0, 0.0, -512.0}));
    EXPECT_EQ((std::array{m.vertices[1].x, m.vertices[1].y, m.vertices[1].z}), (std::array{1.0, -1.0, 1.0}));
    // "+1", a hexadecimal float and "1e" read as the C library reads them.
    EXPECT_EQ((std::array{m.vertices[2].x, m.vertices[2].y, m.vertices[2].z}), (std::array{1024.0, 1.0, 1024.0}));
    EXPECT_EQ(m.vertices[0].bone, no_bone);

    Reading scaled;
    scaled.ctx.settings.scale = 2.0f;
    const Vertex v = scaled.read("v 0.25 -0.25 0.75\n").vertices[0];
    EXPECT_EQ((std::array{v.x, v.y, v.z}), (std::array{1.0, -1.0, 2.0}));
}

TEST(ObjexReader, TextureCoordinatesFlipVAndNormalsAreKept)
{
    Reading r;
    const Model& m = r.read("vt 0.25 0.25\nvt 0.5\nvn 0.25 -1 0.5\n");
    ASSERT_EQ(m.texcoords.size(), 2u);
    EXPECT_EQ(m.texcoords[0].u, 0.25f);
    EXPECT_EQ(m.texcoords[0].v, 0.75f);
    EXPECT_EQ(m.texcoords[1].v, 1.0f);  // a missing v reads as 0
    ASSERT_EQ(m.normals.size(), 1u);
    EXPECT_EQ((std::array{m.normals[0].x, m.normals[0].y, m.normals[0].z}), (std::array{0.25f, -1.0f, 0.5f}));
}

struct FaceCase {
    std::string line;
    std::vector<std::array<Corners, 3>> triangles;  // position, texcoord, normal indices
};

void PrintTo(const FaceCase& c, std::ostream* os)
{
    *os << c.line;
}

class ObjexFaces : public testing::TestWithParam<FaceCase> {};

TEST_P(ObjexFaces, GiveTheseTriangles)
{
    Reading r;
    const Model& m = r.read(nine_of_each() + GetParam().line + "\n");
    ASSERT_EQ(m.triangles.size(), GetParam().triangles.size());
    for (size_t i = 0; i < m.triangles.size(); ++i) {
        EXPECT_EQ(m.triangles[i].position, GetParam().triangles[i][0]) << i;
        EXPECT_EQ(m.triangles[i].texcoord, GetParam().triangles[i][1]) << i;
        EXPECT_EQ(m.triangles[i].normal, GetParam().triangles[i][2]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ObjexFaces,
    testing::Values(FaceCase{"f 1 2 3", {{Corners{0, 1, 2}, Corners{X, X, X}, Corners{X, X, X}}}},
                    FaceCase{"f 1//2 3//4 5//6", {{Corners{0, 2, 4}, Corners{X, X, X}, Corners{1, 3, 5}}}},
                    FaceCase{"f 1/2 3/4 5/6", {{Corners{0, 2, 4}, Corners{1, 3, 5}, Corners{X, X, X}}}},
                    FaceCase{"f 1/2/3 4/5/6 7/8/9", {{Corners{0, 3, 6}, Corners{1, 4, 7}, Corners{2, 5, 8}}}},
                    // Larger faces become a fan around the first corner.
                    FaceCase{"f 1 2 3 4",
                             {{Corners{0, 1, 2}, Corners{X, X, X}, Corners{X, X, X}},
                              {Corners{0, 2, 3}, Corners{X, X, X}, Corners{X, X, X}}}},
                    FaceCase{"f 1/1/1 2/2/2 3/3/3 4/4/4 5/5/5",
                             {{Corners{0, 1, 2}, Corners{0, 1, 2}, Corners{0, 1, 2}},
                              {Corners{0, 2, 3}, Corners{0, 2, 3}, Corners{0, 2, 3}},
                              {Corners{0, 3, 4}, Corners{0, 3, 4}, Corners{0, 3, 4}}}},
                    // Negative indices count back from the last record read.
                    FaceCase{"f -1/-2/-3 -9/-8/-7 1/2/3", {{Corners{8, 0, 0}, Corners{7, 1, 1}, Corners{6, 2, 2}}}},
                    // What follows the corners, as scanf would leave it, is ignored.
                    FaceCase{"f 1 2 3 x 4", {{Corners{0, 1, 2}, Corners{X, X, X}, Corners{X, X, X}}}},
                    FaceCase{"f 1 2 3/4", {{Corners{0, 1, 2}, Corners{X, X, X}, Corners{X, X, X}}}}));

TEST(ObjexReader, NegativeIndicesCountFromTheRecordsReadSoFar)
{
    Reading r;
    // The face names records by what came before it; later records are not counted.
    const Model& m = r.read("v 0 0 0\nv 0 0 0\nf -1 -2 -1\nv 0 0 0\nf 3 -1 1\n");
    EXPECT_EQ(m.triangles[0].position, (Corners{1, 0, 1}));
    EXPECT_EQ(m.triangles[1].position, (Corners{2, 2, 0}));
}

struct ErrorCase {
    std::string text;
    std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* os)
{
    *os << c.text;
}

class ObjexErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(ObjexErrors, StopWithThisMessage)
{
    Reading r;
    EXPECT_EQ(r.error(GetParam().text), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ObjexErrors,
    testing::Values(
        ErrorCase{"v 1 2\n", "Error parsing line: 'v 1 2'"}, ErrorCase{"vn 1 2\n", "Error parsing line: 'vn 1 2'"},
        ErrorCase{"vt\n", "Error parsing line: 'vt'"}, ErrorCase{"vp 1 2 3\n", "Error parsing line: 'vp 1 2 3'"},
        ErrorCase{"f 1 2\n", "Error parsing line: 'f 1 2'"},
        ErrorCase{"f 1/1 2//2 3/3\n", "Error parsing line: 'f 1/1 2//2 3/3'"},
        ErrorCase{"f 1/1/1 2/2/2 3/3/3 4/4\n", "Error parsing line: 'f 1/1/1 2/2/2 3/3/3 4/4'"},
        ErrorCase{"v inf 0 0\n", "Error parsing line: 'v inf 0 0'"},
        ErrorCase{"v 0 nan 0\n", "Error parsing line: 'v 0 nan 0'"},
        ErrorCase{"vn 0 0 1e39\n", "Error parsing line: 'vn 0 0 1e39'"},
        ErrorCase{"vt 0.5 -1e40\n", "Error parsing line: 'vt 0.5 -1e40'"},
        // Finite as read, but beyond a double once scaled.
        ErrorCase{"v 1e308 0 0\n", "Error parsing line: 'v 1e308 0 0'"},
        ErrorCase{"v 0 0 0\nf 0 1 1\n", "Face index 0 names no position in line: 'f 0 1 1'"},
        ErrorCase{"v 0 0 0\nf 1 -2 1\n", "Face index -2 names no position in line: 'f 1 -2 1'"},
        ErrorCase{"v 0 0 0\nf 1 4 1\nf 1 9 1\nf 9 1 1\n", "Face index 9 names no position in line: 'f 1 9 1'"},
        ErrorCase{"v 0 0 0\nvt 0 0\nf 1/1 1/2 1/1\n",
                  "Face index 2 names no texture coordinate in line: 'f 1/1 1/2 1/1'"},
        ErrorCase{"v 0 0 0\nf 1//1 1//1 1//1\n", "Face index 1 names no normal in line: 'f 1//1 1//1 1//1'"},
        ErrorCase{"g wall_POS(1,2)\n", "group 'wall_POS(1,2)' invalid POS arguments!"},
        ErrorCase{"g wall_POS(1,inf,2)\n", "group 'wall_POS(1,inf,2)' invalid POS arguments!"},
        ErrorCase{"VERTGROUPORDER 2 \"hip\" \"leg\"\nbone 2\n",
                  "Bone line 'bone 2' names position 2, but the vertex group order holds 2 names"},
        ErrorCase{"VERTGROUPORDER 1\nbone 0\n",
                  "Bone line 'bone 0' names position 0, but the vertex group order holds 0 names"},
        ErrorCase{"VERTGROUPORDER 2 \"hip\" \"leg\"\nbone 1\n",
                  "Bone line 'bone 1' uses the vertex group order, but no skeleton with named bones was read "
                  "before it"}));

TEST(ObjexReader, MissingFileIsNamedAsGiven)
{
    HeadlessPlatform platform;
    Context ctx(platform);
    Model model;
    try {
        read_objex(ctx, "no/such.objex", model);
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "Couldn't open 'no/such.objex'!");
    }
}

TEST(ObjexReader, RecordsBeyondTheDataModelStop)
{
    std::string positions;
    for (size_t i = 0; i <= max_vertex_records; ++i)
        positions += "v 0 0 0\n";
    Reading r;
    EXPECT_EQ(r.error(positions), "'m.objex' has more positions than a model can hold (at most 61444)");

    std::string faces = "v 0 0 0\n";
    for (size_t i = 0; i <= max_triangles; ++i)
        faces += "f 1 1 1\n";
    EXPECT_EQ(r.error(faces), "'m.objex' has more triangles than a model can hold (at most 65535)");
}

TEST(ObjexReader, FileWithoutGroupsOrFacesGetsOneEmptyGroup)
{
    Reading r;
    const Model& m = r.read("v 1 2 3\n# nothing else\n");
    ASSERT_EQ(m.groups.size(), 1u);
    EXPECT_EQ(m.groups[0].name, "noname");
    EXPECT_TRUE(m.group_starts.empty());
    EXPECT_EQ(m.file_group_count, 0);
    EXPECT_TRUE(m.skeletons.empty());
}

TEST(ObjexReader, GroupsRecordTheirFirstTriangle)
{
    Reading r;
    const Model& m = r.read("v 0 0 0\nf 1 1 1\ng a\nf 1 1 1\nf 1 1 1\no\nf 1 1 1\ng b\n");
    ASSERT_EQ(m.groups.size(), 4u);
    EXPECT_EQ(m.groups[0].name, "undefined");  // made by a face before any group
    EXPECT_EQ(m.groups[1].name, "a");
    EXPECT_EQ(m.groups[2].name, "");
    EXPECT_EQ(m.group_starts, (std::vector<uint16_t>{0, 1, 3, 4}));
    EXPECT_EQ(m.file_group_count, 4);
    std::vector<uint16_t> groups;
    for (const Triangle& t : m.triangles)
        groups.push_back(t.group);
    EXPECT_EQ(groups, (std::vector<uint16_t>{0, 1, 1, 2}));
}

TEST(ObjexReader, GroupNamesGiveCollisionAndPosition)
{
    Reading r;
    const Model& m = r.read("g COLLISION_floor_POS(0,1,0)\ng Hand_R_POS(0.1,0.2,0.3)\no __a__POS( 1,2,3)x\n"
                            "g COLLISION\ng a#COLLISION\n");
    ASSERT_EQ(m.groups.size(), 5u);
    EXPECT_EQ(m.groups[0].name, "COLLISION_floor");
    EXPECT_EQ(m.groups[0].collision, 1);
    EXPECT_EQ((std::array{m.groups[0].pos_x, m.groups[0].pos_y, m.groups[0].pos_z}),
              (std::array{0.0f, 1024.0f, 0.0f}));
    EXPECT_EQ(m.groups[1].name, "Hand_R");
    EXPECT_EQ(m.groups[1].collision, 0);
    EXPECT_EQ((std::array{m.groups[1].pos_x, m.groups[1].pos_y, m.groups[1].pos_z}),
              (std::array{0.1f * 1024.0f, 0.2f * 1024.0f, 0.3f * 1024.0f}));
    EXPECT_EQ(m.groups[2].name, "__a");
    EXPECT_EQ(m.groups[2].pos_z, 3072.0f);
    EXPECT_EQ(m.groups[3].collision, 1);
    EXPECT_EQ(m.groups[4].name, "a");  // the comment is gone
    EXPECT_EQ(m.groups[4].collision, 0);
}

TEST(ObjexReader, GroupLineJoinedByLeadingBlanksMakesNoGroup)
{
    Reading r;
    const Model& m = r.read("v 1 2 3\n   g arm\nf 1 1 1\n");
    EXPECT_EQ(m.vertices.size(), 1u);
    ASSERT_EQ(m.groups.size(), 1u);
    EXPECT_EQ(m.groups[0].name, "undefined");
}

TEST(ObjexReader, CrLfFileReadsLikeLfFile)
{
    const std::string text = "# head\nmtllib a#b.mtl\ng a  \nv 1 2 3 # c\nvt 0.5 0.5\nvn 0 0 1\n\nf 1/1/1 1/1/1 1/1/1\n";
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Reading lf, windows;
    // The library's name keeps its '#'.
    write_file(lf.dir / "a#b.mtl", "");
    write_file(windows.dir / "a#b.mtl", "");
    const Model& a = lf.read(text);
    const Model& b = windows.read(crlf);
    ASSERT_EQ(b.vertices.size(), 1u);
    EXPECT_EQ(b.vertices[0].z, a.vertices[0].z);
    EXPECT_EQ(b.texcoords.size(), a.texcoords.size());
    EXPECT_EQ(b.triangles.size(), 1u);
    ASSERT_EQ(b.groups.size(), 1u);
    EXPECT_EQ(b.groups[0].name, "a");
}

TEST(ObjexReader, FacesUseTheFirstMaterialOfTheirName)
{
    Reading r;
    for (const char* name : {"skin", "cloth", "skin"})
        r.ctx.material_table.push_back(named(name));
    const Model& m = r.read("v 0 0 0\nf 1 1 1\nusemtl cloth\nf 1 1 1\nusemtl skin\nf 1 1 1\n");
    EXPECT_EQ(m.triangles[0].material, 0);
    EXPECT_EQ(m.triangles[1].material, 1);
    EXPECT_EQ(m.triangles[2].material, 0);
    EXPECT_EQ(r.ctx.material_table.size(), 3u);  // no default material needed
}

TEST(ObjexReader, FacesWithoutAValidMaterialShareOneDefault)
{
    Reading r;
    r.ctx.material_table.push_back(named("skin"));
    const Model& m = r.read("v 0 0 0\nusemtl nope\nf 1 1 1\nusemtl skin\nf 1 1 1\nusemtl other\nf 1 1 1\n");
    ASSERT_EQ(r.ctx.material_table.size(), 2u);
    EXPECT_EQ(m.triangles[0].material, 1);
    EXPECT_EQ(m.triangles[1].material, 0);
    EXPECT_EQ(m.triangles[2].material, 1);
    const Material& fallback = r.ctx.material_table[1];
    EXPECT_EQ(fallback.name, "default");
    EXPECT_EQ((std::array{fallback.r, fallback.g, fallback.b, fallback.alpha}), (std::array{1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(fallback.texture, no_texture);
    EXPECT_EQ(fallback.geometry_mode, 0x400u);
    EXPECT_EQ(fallback.unlit, 0);

    // Without any library, even faces before any use-material line need it.
    Reading bare;
    EXPECT_EQ(bare.read("v 0 0 0\nf 1 1 1\n").triangles[0].material, 0);
    EXPECT_EQ(bare.ctx.material_table.size(), 1u);
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

TEST(ObjexReader, LinesNamingOtherFilesAreAcceptedAndUnknownLinesIgnored)
{
    Reading r;
    write_file(r.dir / "none.mtl", "newmtl from_library\n");
    const Model& m = r.read("mtllib none.mtl\nskeleton none.skel\nanimations none.anim\ns 1\nl 1 2\nusemap x\n"
                            "v 1 1 1\n");
    EXPECT_EQ(m.vertices.size(), 1u);
    EXPECT_TRUE(m.triangles.empty());
    ASSERT_EQ(r.ctx.material_table.size(), 1u);
    EXPECT_EQ(r.ctx.material_table[0].name, "from_library");
}

TEST(ObjexReader, NamedFilesResolveAgainstTheGeometryFolder)
{
    const std::pair<std::string, std::string> cases[][2] = {
        {{"models/a.objex", "b.mtl"}, {"models/b.mtl", ""}},
        {{"a.objex", "b.mtl"}, {"b.mtl", ""}},
        {{"dir\\a.objex", "t/b.mtl"}, {"dir\\t/b.mtl", ""}},
        {{"/a.objex", "b.mtl"}, {"/b.mtl", ""}},
        {{"m/a.objex", "/abs/b.mtl"}, {"/abs/b.mtl", ""}},
        {{"m/a.objex", "C:/x.mtl"}, {"C:/x.mtl", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolve_relative(c[0].first, c[0].second), c[1].first) << c[0].first << " + " << c[0].second;
}

TEST(ObjexReader, ConversionStopsOnAMissingFileOrABadLine)
{
    TempDir dir;
    ProcessResult r = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Error: Couldn't open 'in.objex'!\n");

    write_file(dir / "in.objex", "v 1 2\n");
    r = run_tessaloom({"object", "in.objex", "out.zobj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Error parsing line: 'v 1 2'\n");  // the box title starts the message already
}

}  // namespace
