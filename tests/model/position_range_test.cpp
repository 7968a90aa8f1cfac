#include <gtest/gtest.h>

#include <cmath>

#include "model/position_range.h"
#include "support/test_support.h"

namespace {

TEST(PositionRange, FitsTheSigned16BitRange)
{
    for (const double fits : {-32768.0, 0.0, 32767.0})
        EXPECT_TRUE(position_fits(fits)) << fits;
    for (const double beyond : {-32769.0, 32768.0, 1e300, -1e300})
        EXPECT_FALSE(position_fits(beyond)) << beyond;
}

TEST(PositionRange, SuggestedScaleIsShortAndFits)
{
    // Largest, smallest, scale, suggestion.
    const std::tuple<double, double, float, double> cases[] = {
        {40960, 0, 1024, 800},        // 32767 / 40 = 819.2: 800 (steps of 50 from 5 up)
        {40960, -51200, 1024, 650},   // the far negative corner decides: 32768 / 50 = 655.4
        {0, -32769, 1, 0.95},         // 0.99997: in steps of 0.05
        {65536, 0, 2048, 1000},       // 1023.98: steps of 100 below 5000
        {1e6, 0, 0.5f, 0.016},        // 0.016383
        {32768, 0, -1, -0.95},        // a mirroring scale keeps its sign
        {0, 0, 1024, 0},              // nothing measured
    };
    for (const auto& [largest, smallest, scale, suggestion] : cases) {
        PositionSpan span;
        span.add(largest);
        span.add(smallest);
        EXPECT_NEAR(fitting_scale(span, scale), suggestion, 1e-9) << largest << " " << smallest << " " << scale;
        if (suggestion != 0) {
            // Scaled down by the suggestion, every position fits.
            const double shrink = suggestion / scale;
            EXPECT_TRUE(position_fits(std::round(largest * shrink)) && position_fits(std::round(smallest * shrink)));
        }
    }
}

TEST(PositionRange, MessageNamesThePlaceTheValueAndAScaleToTry)
{
    PositionSpan span;
    span.add(40960);
    EXPECT_EQ(fatal_text([&] { position_out_of_range("Vertex at line 1234 of 'ship.obj'", 40, 40960, 1024, "", span); }),
              "Vertex at line 1234 of 'ship.obj' lies at 40.0 units, 40960 after scaling by 1024; positions must fit "
              "-32768..32767. Try -s 800 or smaller.");
    // Small values keep three significant digits. The span's largest value
    // still decides: 32767 / 40960 x 800000 = 639984.
    span.add(-33000);
    EXPECT_EQ(fatal_text([&] {
                  position_out_of_range("Bone 'hip' of 'body.skel'", -0.0412, -33000, 800000, " from its parent", span);
              }),
              "Bone 'hip' of 'body.skel' lies at -0.0412 units from its parent, -33000 after scaling by 800000; "
              "positions must fit -32768..32767. Try -s 600000 or smaller.");
}

}  // namespace
