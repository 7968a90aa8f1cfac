// Animations in the console's form, from models built by hand, compared
// with bytes and header lines laid out by hand.
#include <gtest/gtest.h>

#include "base/context.h"
#include "model/model.h"
#include "output/animation_encoding.h"
#include "output/object_assembly.h"
#include "output/object_file.h"
#include "platform/headless.h"
#include "support/bytes.h"
#include "support/test_support.h"

namespace {

using Rotation = std::array<float, 3>;
using Translation = std::array<int16_t, 3>;

// An animation of `frames` frames over `bones` bones: translations and
// rotations all zero until a test sets them.
Animation still_animation(const std::string& name, uint16_t frames, size_t bones)
{
    Animation a;
    a.name = name;
    a.frame_count = frames;
    a.translations.assign(frames, Translation{0, 0, 0});
    a.rotations.assign(size_t{frames} * bones, Rotation{0, 0, 0});
    return a;
}

// Encodes the animations of a model with a skeleton of `bones` bones into a
// buffer that already holds `lead` bytes of 0xAA, and gathers the header lines.
struct Encoding {
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;
    OutBuffer ob = make_out_buffer(0);

    explicit Encoding(size_t bones)
    {
        model.skeletons.emplace_back();
        model.skeletons[0].bones.resize(bones);
        ctx.settings.base_offset = 0x06000000;
        ctx.log.echo = nullptr;
        open_log(ctx.log, nullptr);
    }
    // The object bytes from offset `from` on.
    std::string encode(size_t lead = 0, uint32_t from = 0)
    {
        for (size_t i = 0; i < lead; ++i)
            ob_write_u8(ob, 0xAA);
        for (size_t a = 0; a < model.animations.size(); ++a)
            encode_animation(ctx, model, a, ob);
        return std::string(reinterpret_cast<const char*>(ob.data()) + from, ob.length - from);
    }
    std::string header() { return read_log_text(ctx.log).value_or(""); }
};

TEST(AnimationEncoding, OneStillFrameIsOneConstant)
{
    Encoding e(2);
    e.model.animations.push_back(still_animation("idle", 1, 2));
    const std::string object = e.encode(6);
    const Bytes expected = Bytes()
                               .u32(0xAAAAAAAA)
                               .u16(0xAAAA)
                               .u16(0)  // padding: the frame data starts at 8
                               .u16(0)  // 8: the one constant, 0; no tracks
                               .u16(0)  // padding: the joint table starts at 12
                               .u16(0).u16(0).u16(0)   // 12: root x, y, z name constant 0
                               .u16(0).u16(0).u16(0)   // bone 0 x, y, z
                               .u16(0).u16(0).u16(0)   // bone 1 x, y, z
                               .u16(0)                 // padding: the header starts at 32
                               .u16(1)                 // 32: one frame
                               .u16(0)                 //
                               .u32(0x06000008)        // the frame data
                               .u32(0x0600000C)        // the joint index table
                               .u16(1)                 // one constant
                               .u16(0);
    EXPECT_EQ(hex_dump(object), hex_dump(expected.data));
    EXPECT_EQ(e.header(), "     #define   ANIM_IDLE     0x06000020\r\n");
    // The two pointer words are recorded for the C array, and only they.
    EXPECT_EQ(e.ctx.pointer_positions.offsets, (std::unordered_set<uint32_t>{36, 40}));
}

TEST(AnimationEncoding, AnglesAndSharedConstants)
{
    Encoding e(2);
    Animation a = still_animation("pose", 1, 2);
    a.translations[0] = {1, -1, 0};
    a.rotations[0] = {90, 180, 1};
    a.rotations[1] = {359.99f, 0, 90};
    e.model.animations.push_back(a);
    const Bytes expected = Bytes()
                               // Constants in order of first appearance:
                               .u16(0x0001)  // 0: root x
                               .u16(0xFFFF)  // 1: root y, -1
                               .u16(0x0000)  // 2: root z
                               .u16(0x3FFF)  // 3: 90 degrees is 16383.99..., truncated
                               .u16(0x7FFF)  // 4: 180 degrees, 32767.99...
                               .u16(0x00B6)  // 5: 1 degree, 182.04...
                               .u16(0xFFFE)  // 6: 359.99 as a float, 65534.17...
                               .u16(0)       // padding
                               // Joint indices: bone 1's 0 and 90 share the constants of root z and bone 0 x.
                               .u16(0).u16(1).u16(2).u16(3).u16(4).u16(5).u16(6).u16(2).u16(3)
                               .u16(0)  // padding: the header at 36
                               .u16(1).u16(0).u32(0x06000000).u32(0x06000010).u16(7).u16(0);
    EXPECT_EQ(hex_dump(e.encode()), hex_dump(expected.data));
}

TEST(AnimationEncoding, ChangingChannelsAreTracksInChannelOrder)
{
    Encoding e(1);
    e.ctx.settings.base_offset = 0x06001000;
    Animation a = still_animation("walk", 3, 1);
    // Root x differs only in frame 0: still a track.
    a.translations = {{5, 0, 0}, {7, 0, 0}, {7, 0, 0}};
    // Bone x turns; bone z stays at 1 degree.
    a.rotations = {{0, 0, 1}, {90, 0, 1}, {180, 0, 1}};
    e.model.animations.push_back(a);
    const Bytes expected = Bytes()
                               .u16(0)       // constant 0: root y, root z and bone y
                               .u16(0x00B6)  // constant 1: bone z
                               .u16(5).u16(7).u16(7)            // 2: root x, frames 0-2
                               .u16(0).u16(0x3FFF).u16(0x7FFF)  // 5 = K + F x 1: bone x
                               // 16: the joint table; 6 entries end at 28
                               .u16(2).u16(0).u16(0).u16(5).u16(0).u16(1)
                               .u16(3)  // 28: three frames
                               .u16(0)
                               .u32(0x06001000)  // base offset + 0
                               .u32(0x06001010)  // base offset + 16
                               .u16(2)           // two constants
                               .u16(0);
    EXPECT_EQ(hex_dump(e.encode()), hex_dump(expected.data));
    EXPECT_EQ(e.header(), "     #define   ANIM_WALK     0x0600001C\r\n");
}

TEST(AnimationEncoding, FrameDataBeyond5120BytesIsFlagged)
{
    // One changing root axis and the constant 0 for the rest: 2 + 2F bytes of
    // frame data, padded to 4. 2559 frames make exactly 5120 bytes; 2560 make
    // 5122, padded to 5124.
    Encoding e(1);
    for (const uint16_t frames : {2559, 2560}) {
        Animation a = still_animation(frames == 2559 ? "fits" : "big", frames, 1);
        for (uint16_t f = 0; f < frames; ++f)
            a.translations[f][1] = static_cast<int16_t>(f);
        e.model.animations.push_back(a);
    }
    e.ctx.settings.write_header = false;
    const std::string object = e.encode();
    // fits: data 0-5120, six joint indices to 5132, the header at 5132
    // (0x140C) to 5148; big: data from 5148, 5124 bytes with the padding, the
    // joint indices from 10272 to 10284, the header at 10284 (0x282C).
    EXPECT_EQ(e.header(), "     0x0600140C    fits\r\n"
                          "     0x0600282C    big /* warning: A000 */\r\n");
    EXPECT_EQ(object.size(), 10300u);
}

TEST(AnimationEncoding, PointerWordsBecomeArrayExpressions)
{
    Encoding e(1);
    e.ctx.settings.embed_c = true;
    e.model.animations.push_back(still_animation("idle", 1, 1));
    const std::string object = e.encode(4);
    // The data at 4 (zobj+1), the table at 8 (zobj+2), the header at 20 (zobj+5).
    EXPECT_EQ(e.header(), "     #define   ANIM_IDLE     (u32)(zobj+5)\r\n");
    EXPECT_EQ(c_array_text(e.ob, e.ctx.pointer_positions),
              "\nu32 zobj[]={0xAAAAAAAA,0x00000000,0x00000000,0x00000000,0x00000000,"
              "0x00010000,(u32)(zobj+1),(u32)(zobj+2),0x00010000};");
}

TEST(AnimationEncoding, TracksMustStartWithinReachOfAJointIndex)
{
    // Two changing root axes and the constant 0: the second track starts at
    // 1 + F, which must stay at or below 65535.
    for (const uint16_t frames : {65534, 65535}) {
        Encoding e(1);
        Animation a = still_animation("long", frames, 1);
        for (uint16_t f = 0; f < frames; ++f)
            a.translations[f] = {static_cast<int16_t>(f), static_cast<int16_t>(f), 0};
        e.model.animations.push_back(a);
        const std::string message = fatal_text([&] { e.encode(); });
        EXPECT_EQ(message, frames == 65534 ? "(no error)"
                                           : "Animation 'long' has 2 changing channels of 65535 frames: its tracks "
                                             "would start beyond the 65535 values that a joint index can reach");
    }
}

TEST(AnimationEncoding, FindOrAddConstant)
{
    OutBuffer ob = make_out_buffer(0);
    ob_write_u16(ob, 0x1234);  // not a constant: the block starts behind it
    ConstantBlock constants;
    const uint16_t values[] = {7, 9, 7, 0x1234, 9};
    std::vector<uint16_t> indices;
    for (const uint16_t v : values)
        indices.push_back(find_or_add_constant(ob, constants, v));
    EXPECT_EQ(indices, (std::vector<uint16_t>{0, 1, 0, 2, 1}));
    EXPECT_EQ(constants.count, 3);
    EXPECT_EQ(hex_dump(std::string(reinterpret_cast<const char*>(ob.data()), ob.length)),
              hex_dump(Bytes().u16(0x1234).u16(7).u16(9).u16(0x1234).data));
}

// A rigged model of one bone without triangles and one animation, through
// the whole assembly: the animations stand between the limb lists and the
// limb records, under their own banner.
TEST(AnimationEncoding, AssemblyPlacesAnimationsBeforeTheLimbs)
{
    HeadlessPlatform platform;
    Context ctx(platform);
    TempDir dir;
    Model m;
    m.groups = {Group{"riggedmesh"}, Group{"Limb 0"}};
    m.group_starts = {0 | group_start_moved, 0};
    m.file_group_count = 1;
    m.skeletons.emplace_back();
    m.skeletons[0].bones.resize(1);
    m.animations.push_back(still_animation("idle", 1, 1));
    m.animations[0].translations[0] = {0, 0x100, 0};
    ctx.settings.base_offset = 0x06000000;
    ctx.log.echo = nullptr;
    const std::string header_path = (dir / "obj.h").string();
    open_log(ctx.log, &header_path);
    assemble_object(ctx, m, (dir / "out.zobj").string(), false, true);
    close_log(ctx.log);

    const Bytes expected = Bytes()
                               .u16(0x0000)  // 0: constant 0
                               .u16(0x0100)  // constant 1: root y
                               .u16(0).u16(1).u16(0).u16(0).u16(0).u16(0)  // 4: joint table
                               .u16(1).u16(0).u32(0x06000000).u32(0x06000004).u16(2).u16(0)  // 16: header
                               // 32: the limb record: position 0, no child, no sibling, no list
                               .u16(0).u16(0).u16(0).u8(0xFF).u8(0xFF).u32(0)
                               .u32(0x06000020)               // 44: the limb pointer table
                               .u32(0x0600002C).u32(0x01000000).u32(0)  // 48: the skeleton header
                               .zeros(4);                     // padding to 16
    EXPECT_EQ(hex_dump(read_file(dir / "out.zobj")), hex_dump(expected.data));
    EXPECT_EQ(read_file(dir / "obj.h"), "\r\n/* Hierarchical Display Lists * * * */\r\n"
                                        "\r\n/* Animations * * * */\r\n"
                                        "     #define   ANIM_IDLE     0x06000010\r\n"
                                        "\r\n/* Hierarchies (Skeletons) * * * */\r\n"
                                        "     #define   SKL_DEFAULT     0x06000030\r\n"
                                        "\r\n/* Base Offset: 0x06000000 */\r\n");
}

}  // namespace
