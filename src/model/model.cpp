#include "model/model.h"

#include "base/messages.h"

void ensure_room(size_t count, size_t limit, const char* what, const std::string& file)
{
    if (count >= limit)
        fatal_error("'%s' has more %s than a model can hold (at most %zu)", file.c_str(), what, limit);
}

uint16_t next_record_capacity(uint16_t capacity)
{
    return static_cast<uint16_t>(capacity + capacity / 2 + 1);
}

// Grows a record vector by the model's rule: when count + 1 reaches the
// capacity, the capacity becomes capacity + capacity / 2 + 1.
template <typename T>
static void append_record(std::vector<T>& records, const T& record, const char* what, const std::string& file)
{
    ensure_room(records.size(), max_vertex_records, what, file);
    if (records.size() + 1 >= records.capacity())
        records.reserve(next_record_capacity(static_cast<uint16_t>(records.capacity())));
    records.push_back(record);
}

void add_vertex(Model& model, const Vertex& vertex, const std::string& file)
{
    append_record(model.vertices, vertex, "positions", file);
}

void add_normal(Model& model, const Normal& normal, const std::string& file)
{
    append_record(model.normals, normal, "normals", file);
}

void add_texcoord(Model& model, const TexCoord& texcoord, const std::string& file)
{
    append_record(model.texcoords, texcoord, "texture coordinates", file);
}

void add_triangle(Model& model, const Triangle& triangle, const std::string& file)
{
    ensure_room(model.triangles.size(), max_triangles, "triangles", file);
    model.triangles.push_back(triangle);
}

void add_group(Model& model, Group group, const std::string& file)
{
    ensure_room(model.groups.size(), max_groups, "groups", file);
    model.groups.push_back(std::move(group));
    model.group_starts.push_back(static_cast<uint32_t>(model.triangles.size()));
}
