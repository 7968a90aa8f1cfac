#include <gtest/gtest.h>

#include "base/messages.h"
#include "model/model.h"

namespace {

TEST(ModelRecord, CapacityGrowsByHalfPlusOne)
{
    std::vector<uint16_t> seen;
    uint16_t capacity = 0;
    for (int i = 0; i < 7; ++i)
        seen.push_back(capacity = next_record_capacity(capacity));
    EXPECT_EQ(seen, (std::vector<uint16_t>{1, 2, 4, 7, 11, 17, 26}));

    // The vertex table follows the same rule as it is appended to.
    Model model;
    std::vector<size_t> capacities;
    for (int i = 0; i < 11; ++i) {
        add_vertex(model, Vertex{}, "m.objex");
        if (capacities.empty() || capacities.back() != model.vertices.capacity())
            capacities.push_back(model.vertices.capacity());
    }
    EXPECT_EQ(capacities, (std::vector<size_t>{1, 2, 4, 7, 11, 17}));
}

TEST(ModelRecord, RecordTablesStopAtTheDataModelLimit)
{
    Model model;
    for (size_t i = 0; i < max_vertex_records; ++i)
        add_texcoord(model, TexCoord{}, "big.objex");
    EXPECT_EQ(model.texcoords.size(), 61444u);
    try {
        add_texcoord(model, TexCoord{}, "big.objex");
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "'big.objex' has more texture coordinates than a model can hold (at most 61444)");
    }

    Model triangles;
    triangles.triangles.resize(max_triangles);
    EXPECT_THROW(add_triangle(triangles, Triangle{}, "t.objex"), FatalError);
}

TEST(ModelRecord, GroupsRecordWhereTheirTrianglesStart)
{
    Model model;
    add_group(model, Group{"a"}, "m.objex");
    add_triangle(model, Triangle{}, "m.objex");
    add_triangle(model, Triangle{}, "m.objex");
    add_group(model, Group{"b"}, "m.objex");
    EXPECT_EQ(model.group_starts, (std::vector<uint32_t>{0, 2}));
}

}  // namespace
