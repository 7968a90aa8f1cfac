#include <gtest/gtest.h>

#include "base/context.h"
#include "base/messages.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "model/skeleton_reader.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

// A bone as "name (x, y, z) parent flags", parent "-" for a root, flags in hex.
std::string describe(const Bone& b)
{
    const std::string parent = b.parent == no_bone ? "-" : std::to_string(b.parent);
    return format_text("%s (%d, %d, %d) %s %x", b.name.c_str(), b.x, b.y, b.z, parent.c_str(), unsigned{b.flags});
}

// Every skeleton's bones, one list per block.
using Skeletons = std::vector<std::vector<std::string>>;

Skeletons describe(const Model& m)
{
    Skeletons out;
    for (const Skeleton& s : m.skeletons) {
        out.emplace_back();
        for (const Bone& b : s.bones)
            out.back().push_back(describe(b));
    }
    return out;
}

// Reads skeleton text from a file in a fresh folder.
struct SkeletonFile {
    TempDir dir;
    Model model;

    Model& read(const std::string& text, float scale = 1024.0f)
    {
        write_file(dir / "s.skel", text);
        model = Model();
        read_skeleton(model, (dir / "s.skel").string(), "s.skel", scale);
        return model;
    }
    std::string error(const std::string& text)
    {
        return fatal_text([&] { read(text); });
    }
};

// The three-bone example in the bracketed form.
const char* const three_bones =
    "limbs 3\n"
    "+ \"root\" {0 0 0}\n"
    " + \"spine\" {0 0 0.5}\n"
    "  + \"head\" {0 0.25 1}\n"
    "  -\n"
    " -\n"
    "-\n";

TEST(SkeletonReader, FilesGiveTheseBones)
{
    const std::pair<std::string, Skeletons> cases[] = {
        // x = a·s, y = c·s, z = -(b·s); the parent is the bone open one level up.
        {three_bones, {{"root (0, 0, 0) - ffff", "spine (0, 512, 0) 0 ffff", "head (0, 1024, -256) 1 ffff"}}},
        // Truncated toward zero on both sides: 102.4, 307.2, -204.8. A '-' in
        // a push line's name still makes a push; the brace may be followed by anything.
        {"limbs 1\n+ \"arm-L\" {0.1 0.2 0.3}x\n-\n", {{"arm-L (102, 307, -204) - ffff"}}},
        // Names hold blanks; the line ends may be CR LF; a comment after the
        // position goes.
        {"limbs 2\r\n+ \"left arm\" {1 0 0} # shoulder\r\n + \"hand\" {0 0 1}\r\n -\r\n-\r\n",
         {{"left arm (1024, 0, 0) - ffff", "hand (0, 1024, 0) 0 ffff"}}},
        // Several roots: each has no parent.
        {"limbs 2\n+ \"a\" {0 0 0}\n-\n+ \"b\" {0 0 0}\n-\n", {{"a (0, 0, 0) - ffff", "b (0, 0, 0) - ffff"}}},
        // The depth runs on into the next block: b opens one level below a,
        // so its parent is index 0 of its own block.
        {"limbs 1\n+ \"a\" {0 0 0}\nlimbs 1\n+ \"b\" {0 0 0}\n-\n-\n", {{"a (0, 0, 0) - ffff"}, {"b (0, 0, 0) 0 ffff"}}},
        // -32 gives -(-32768) = 32768 on z, but 32 gives -32768, which fits.
        {"limbs 1\n+ \"edge\" {-32 32 31.99}\n", {{"edge (-32768, 32757, -32768) - ffff"}}},
        // Fewer bones than announced.
        {"limbs 9\n+ \"only\" {0 0 0}\n", {{"only (0, 0, 0) - ffff"}}},

        // The plain form: unscaled, truncated, flags in hexadecimal.
        {"total 1\nb 10.9 -3.7 0 1\n", {{" (10, -3, 0) - 1"}}},
        {"total 2\ndefault 0\nb 0 0 0 1F\nb 0 0 0 0x12345\n", {{" (0, 0, 0) - 1f", " (0, 0, 0) - 2345"}}},
        // Parents with a '+' before every bone and with '+' only before children.
        {"total 3\n+\nb 1 0 0 0\n+\nb 2 0 0 0\n+\nb 3 0 0 0\n-\n-\n-\n",
         {{" (1, 0, 0) - 0", " (2, 0, 0) 0 0", " (3, 0, 0) 1 0"}}},
        {"total 3\nb 1 0 0 0\n+\nb 2 0 0 0\n+\nb 3 0 0 0\n-\n-\n",
         {{" (1, 0, 0) - 0", " (2, 0, 0) 0 0", " (3, 0, 0) 1 0"}}},
        // Siblings: after the '-' the next bone is again a child of the root.
        {"total 4\nb 0 0 0 0\n+\nb 1 0 0 0\n+\nb 2 0 0 0\n-\nb 3 0 0 0\n-\n",
         {{" (0, 0, 0) - 0", " (1, 0, 0) 0 0", " (2, 0, 0) 1 0", " (3, 0, 0) 0 0"}}},
        // Several roots, and bones whose line never comes stay at the origin.
        {"total 3\nb 1 0 0 0\nb 2 0 0 0\n", {{" (1, 0, 0) - 0", " (2, 0, 0) - 0", " (0, 0, 0) - 0"}}},
        // Each "total" line starts its own tree.
        {"total 1\n+\nb 1 0 0 0\ntotal 1\n+\nb 2 0 0 0\n", {{" (1, 0, 0) - 0"}, {" (2, 0, 0) - 0"}}},
        // A file led by a comment is in the plain form, where a "limbs" line means nothing.
        {"# rig\nlimbs 1\n", {}},
        {"", {}}};
    for (const auto& [text, expected] : cases) {
        SkeletonFile f;
        EXPECT_EQ(describe(f.read(text)), expected) << text;
    }
}

TEST(SkeletonReader, BracketedPositionsFollowTheScale)
{
    SkeletonFile f;
    EXPECT_EQ(describe(f.read("limbs 1\n+ \"a\" {1 2 3}\n", 2.0f)), (Skeletons{{"a (2, 6, -4) - ffff"}}));
    EXPECT_EQ(describe(f.read("total 1\nb 1 2 3 0\n", 2.0f)), (Skeletons{{" (1, 2, 3) - 0"}}));
}

TEST(SkeletonReader, BadFilesStop)
{
    const std::pair<std::string, std::string> cases[] = {
        {"limbs 256\n", "Skeleton line 'limbs 256' of 's.skel' announces 256 bones; a skeleton holds 0 to 255"},
        {"total -1\n", "Skeleton line 'total -1' of 's.skel' announces -1 bones; a skeleton holds 0 to 255"},
        {"limbs\n", "Error parsing line: 'limbs' of 's.skel'"},
        {"total x\n", "Error parsing line: 'total x' of 's.skel'"},
        // More bones than the block announces.
        {"limbs 1\n+ \"a\" {0 0 0}\n+ \"b\" {0 0 0}\n",
         "Bone line '+ \"b\" {0 0 0}' of 's.skel' is one more than the 1 bones its block announces"},
        {"limbs 0\n+ \"a\" {0 0 0}\n", "Bone line '+ \"a\" {0 0 0}' of 's.skel' is one more than the 0 bones its block announces"},
        {"total 1\nb 0 0 0 0\nb 0 0 0 0\n",
         "Bone line 'b 0 0 0 0' of 's.skel' is one more than the 1 bones its block announces"},
        // Bone and hierarchy lines before the first block.
        {"b 0 0 0 0\ntotal 1\n", "Bone line 'b 0 0 0 0' of 's.skel' comes before the first 'total' line"},
        {"-\ntotal 1\n", "Hierarchy line '-' of 's.skel' comes before the first 'total' line"},
        {"# rig\nlimbs 1\n+ \"a\" {0 0 0}\n",
         "Hierarchy line '+ \"a\" {0 0 0}' of 's.skel' comes before the first 'total' line"},
        // Push lines whose name or position does not parse or is not finite.
        {"limbs 1\n+ \"a\" {0 0}\n", "Error parsing line: '+ \"a\" {0 0}' of 's.skel'"},
        {"limbs 1\n+ \"a\"{0 0 0}\n", "Error parsing line: '+ \"a\"{0 0 0}' of 's.skel'"},  // brace one too early
        {"limbs 1\n+ \"a\" {0 nan 0}\n", "Error parsing line: '+ \"a\" {0 nan 0}' of 's.skel'"},
        {"limbs 1\n+ \"a\" {1e39 0 0}\n", "Error parsing line: '+ \"a\" {1e39 0 0}' of 's.skel'"},
        {"limbs 1\n+ a {0 0 0}\n", "Error parsing line: '+ a {0 0 0}' of 's.skel'"},
        {"limbs 1\n+ \"a {0 0 0}\n", "Error parsing line: '+ \"a {0 0 0}' of 's.skel'"},
        {"limbs 1\n+ \"a\"\n", "Error parsing line: '+ \"a\"' of 's.skel'"},
        {"limbs 1\n+\n", "Error parsing line: '+' of 's.skel'"},
        // Plain bone lines need three finite numbers and the flags.
        {"total 1\nb 0 0\n", "Error parsing line: 'b 0 0' of 's.skel'"},
        {"total 1\nb 0 inf 0 0\n", "Error parsing line: 'b 0 inf 0 0' of 's.skel'"},
        {"total 1\nb 0 0 0\n", "Error parsing line: 'b 0 0 0' of 's.skel'"},
        // Positions beyond 16 bits once scaled and truncated.
        {"limbs 1\n+ \"a\" {32 0 0}\n",
         "Bone position 32768 in line '+ \"a\" {32 0 0}' of 's.skel' lies outside the 16-bit range (-32768 to 32767)"},
        {"limbs 1\n+ \"a\" {0 -32 0}\n",
         "Bone position 32768 in line '+ \"a\" {0 -32 0}' of 's.skel' lies outside the 16-bit range (-32768 to 32767)"},
        {"limbs 1\n+ \"a\" {1e38 0 0}\n",
         "Bone position inf in line '+ \"a\" {1e38 0 0}' of 's.skel' lies outside the 16-bit range (-32768 to 32767)"},
        {"total 1\nb 0 0 -32769.5 0\n",
         "Bone position -32769 in line 'b 0 0 -32769.5 0' of 's.skel' lies outside the 16-bit range (-32768 to 32767)"},
        {"total 1\nb 0 -32768.9 40000 0\n",
         "Bone position 40000 in line 'b 0 -32768.9 40000 0' of 's.skel' lies outside the 16-bit range (-32768 to "
         "32767)"}};
    SkeletonFile f;
    for (const auto& [text, message] : cases)
        EXPECT_EQ(f.error(text), message) << text;
    EXPECT_EQ(fatal_text([&] { read_skeleton(f.model, (f.dir / "none.skel").string(), "none.skel", 1.0f); }),
              "Couldn't open 'none.skel'!");
}

// Reads a geometry file that names the skeleton, so the absolute positions
// are computed as in a conversion.
struct RiggedReading {
    HeadlessPlatform platform;
    Context ctx{platform};
    TempDir dir;
    Model model;

    Model& read(const std::string& skeleton, const std::string& objex)
    {
        write_file(dir / "s.skel", skeleton);
        write_file(dir / "m.objex", objex);
        read_objex(ctx, (dir / "m.objex").string(), model);
        return model;
    }
};

std::vector<std::array<int16_t, 3>> absolute_positions(const Skeleton& s)
{
    std::vector<std::array<int16_t, 3>> out;
    for (const Bone& b : s.bones)
        out.push_back({b.abs_x, b.abs_y, b.abs_z});
    return out;
}

TEST(SkeletonReader, AbsolutePositionsSumTheChainOfSkeletonZero)
{
    using Abs = std::vector<std::array<int16_t, 3>>;
    const std::pair<std::string, Abs> cases[] = {
        {three_bones, {{0, 0, 0}, {0, 512, 0}, {0, 1536, -256}}},
        // Plain form: the parents come from the '+' and '-' lines.
        {"total 4\nb 1 2 3 0\n+\nb 10 20 30 0\n+\nb 100 200 300 0\n-\nb -1 -2 -3 0\n-\n",
         {{1, 2, 3}, {11, 22, 33}, {111, 222, 333}, {0, 0, 0}}},
        // Sums wrap in 16 bits.
        {"total 2\nb 30000 0 0 0\n+\nb 30000 0 0 0\n", {{30000, 0, 0}, {-5536, 0, 0}}}};
    for (const auto& [skeleton, expected] : cases) {
        RiggedReading r;
        const Model& m = r.read(skeleton, "skeleton s.skel\nv 0 0 0\n");
        ASSERT_EQ(m.skeletons.size(), 1u);
        EXPECT_EQ(absolute_positions(m.skeletons[0]), expected) << skeleton;
    }

    // A full skeleton of 255 bones in one chain: the root stays a root
    // although 0xFE is a bone index here.
    std::string chain = "limbs 255\n";
    for (int i = 0; i < 255; ++i)
        chain += "+ \"b\" {0 0 0.0009765625}\n";  // one unit up
    RiggedReading deep;
    const Skeleton& s = deep.read(chain, "skeleton s.skel\n").skeletons.at(0);
    ASSERT_EQ(s.bones.size(), 255u);
    EXPECT_EQ(s.bones[0].parent, no_bone);
    EXPECT_EQ(s.bones[254].parent, 253);
    EXPECT_EQ(s.bones[254].abs_y, 255);

    // A second skeleton line adds a skeleton that no stage uses.
    RiggedReading r;
    write_file(r.dir / "t.skel", "limbs 1\n+ \"x\" {0 1 1}\n");
    const Model& m = r.read(three_bones, "skeleton s.skel\nskeleton t.skel\n");
    ASSERT_EQ(m.skeletons.size(), 2u);
    EXPECT_EQ(absolute_positions(m.skeletons[1]), (Abs{{0, 0, 0}}));
}

TEST(SkeletonReader, ALoopOfParentsStops)
{
    Model m;
    m.skeletons.emplace_back();
    m.skeletons[0].bones.resize(2);
    m.skeletons[0].bones[0].parent = 1;
    m.skeletons[0].bones[1].parent = 0;
    EXPECT_EQ(fatal_text([&] { compute_bone_absolute(m, 0, 1); }), "The parents of bone 1 of skeleton 0 form a loop");
}

}  // namespace
