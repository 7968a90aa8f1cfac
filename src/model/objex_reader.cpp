#include "model/objex_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/context.h"
#include "base/messages.h"
#include "model/animation_reader.h"
#include "model/face_split.h"
#include "model/material_library.h"
#include "model/model.h"
#include "model/position_range.h"
#include "model/prepare_text.h"
#include "model/skeleton_reader.h"
#include "model/text_scan.h"
#include "model/texture_loading.h"

namespace {

// The largest 1-based index the faces gave for one kind of record, and the
// first line that gave it. Faces may name records defined further down, so
// positive indices are checked once the whole file is read.
struct IndexUse {
    int largest = 0;
    const char* line = nullptr;
};

// The corner forms of a face line, in the order they are tried.
enum class CornerForm { position, position_normal, position_texcoord_normal, position_texcoord };

struct Corner {
    int position = 0, texcoord = 0, normal = 0;  // as written: 1-based, or negative from the end
};

struct ResolvedCorner {
    uint16_t position = 0, texcoord = absent_index, normal = absent_index;  // 0-based record indices
};

// Name -> index of the first material with that name. The table grows while
// the file is read (each material library appends), so new entries are
// indexed when the next lookup comes.
struct MaterialNames {
    std::unordered_map<std::string, uint16_t> first;
    size_t indexed = 0;
};

// A face of more than three corners, fanned while the file is read and split
// once every position it names is known (faces may name later positions).
struct PendingFace {
    size_t first_triangle = 0;
    size_t first_corner = 0;  // in ObjexReader::face_corners
    size_t corner_count = 0;
};

// The first coordinate that does not fit the 16-bit vertex fields.
struct PositionOverflow {
    uint32_t line = 0;  // of the file
    double file_value = 0;
    double stored = 0;
};

struct ObjexReader {
    ObjexReader(Context& ctx_, Model& model_, const std::string& path_, TextureLoading& textures_)
        : ctx(ctx_), model(model_), path(path_), textures(textures_)
    {
    }

    Context& ctx;
    Model& model;
    const std::string& path;  // as given, for messages and for resolving named files
    TextureLoading& textures;  // the texture images of the libraries, loading
    const char* text_end = nullptr;  // one past the file's text: every byte before it may be read

    uint32_t line_number = 0;       // the file line of the line being read
    int current_bone = no_bone;     // the bone given to the next positions
    uint16_t current_material = 0;  // the material given to the next faces
    uint16_t current_group = 0;     // the group given to the next faces
    bool order_active = false;      // a VERTGROUPORDER list is in force
    std::vector<std::string_view> order_names;
    // The largest bone a bone line gave (a negative one counts as the
    // largest), and the first line that gave it: once the whole file is read
    // it must be a bone of skeleton 0.
    uint32_t largest_bone = 0;
    const char* largest_bone_line = nullptr;
    MaterialNames material_names;
    IndexUse positions, normals, texcoords;
    std::vector<Corner> corners;  // of the face being read
    std::vector<ResolvedCorner> resolved;
    // An animation file named while no skeleton was read yet, as written.
    std::optional<std::string> animations_before_skeleton;
    PositionSpan position_span;  // of every coordinate read
    std::optional<PositionOverflow> position_overflow;
    std::vector<PendingFace> pending_faces;
    std::vector<ResolvedCorner> face_corners;
};

}  // namespace

// Marks a face whose use-material name no library defined; such faces get
// the default material once the file is read.
static constexpr uint16_t unknown_material = 0xFFFF;

// The text of a line from `column` on, or nothing when the line is shorter.
static std::string text_from(const char* line, size_t length, size_t column)
{
    return length > column ? std::string(line + column, length - column) : std::string();
}

[[noreturn]] static void parse_error(const char* line)
{
    fatal_error("Error parsing line: '%s'", line);
}

// ---- Where the other readers take over -------------------------------------
// The material library, skeleton and animation readers plug in here. Until
// they exist their lines are accepted and nothing is read.

// Material library reader: fills model.material_table from `open_path`.
static void read_named_material_library(ObjexReader& r, const std::string& shown_path, const std::string& open_path)
{
    read_material_library(r.ctx, r.model, open_path, shown_path, r.textures);
}

// Skeleton reader: appends a skeleton from `open_path` to the model.
static void read_named_skeleton(Context& ctx, Model& model, const std::string& shown_path,
                                const std::string& open_path)
{
    read_skeleton(model, open_path, shown_path, ctx.settings.scale);
}

// Animation reader: fills the model's animations from `open_path`.
static void read_named_animations(Context& ctx, Model& model, const std::string& shown_path,
                                  const std::string& open_path)
{
    read_animations(ctx, model, open_path, shown_path);
}

// The model-space position of every bone of skeleton 0, in bone order, once
// the whole geometry file is read.
static void compute_absolute_bone_positions(Model& model)
{
    for (size_t b = 0; b < model.skeletons[0].bones.size(); ++b)
        compute_bone_absolute(model, 0, b);
}

// ---- Records ----------------------------------------------------------------

// A coordinate in whole model units: scaled, then rounded half away from zero.
static double scaled_coordinate(double value, float scale, const char* line)
{
    const double scaled = std::round(value * static_cast<double>(scale));
    if (!std::isfinite(scaled))
        parse_error(line);
    return scaled;
}

// "v %lf %lf %lf"
static void read_position(ObjexReader& r, const char* line)
{
    const char* p = line + 1;
    double xyz[3];
    for (double& c : xyz)
        if (!scan_double(p, c) || !std::isfinite(c))
            parse_error(line);
    Vertex vertex;
    vertex.x = scaled_coordinate(xyz[0], r.ctx.settings.scale, line);
    vertex.y = scaled_coordinate(xyz[1], r.ctx.settings.scale, line);
    vertex.z = scaled_coordinate(xyz[2], r.ctx.settings.scale, line);
    // Positions are stored in 16 bits. The first one that does not fit is
    // reported once the file is read, with a scale at which all of them fit.
    const double stored[3] = {vertex.x, vertex.y, vertex.z};
    for (int k = 0; k < 3; ++k) {
        r.position_span.add(stored[k]);
        if (!r.position_overflow && !position_fits(stored[k]))
            r.position_overflow = PositionOverflow{r.line_number, xyz[k], stored[k]};
    }
    vertex.bone = static_cast<uint8_t>(r.current_bone & 0xFF);
    vertex.line = r.line_number;
    add_vertex(r.model, vertex, r.path);
}

// "vn %f %f %f"
static void read_normal(ObjexReader& r, const char* line)
{
    const char* p = line + 2;
    Normal normal;
    for (float* c : {&normal.x, &normal.y, &normal.z})
        if (!scan_float(p, *c) || !std::isfinite(*c))
            parse_error(line);
    add_normal(r.model, normal, r.path);
}

// "vt %f %f". A missing v reads as 0. The console's t axis runs down the
// image, so v is stored flipped.
static void read_texcoord(ObjexReader& r, const char* line)
{
    const char* p = line + 2;
    float u = 0, v = 0;
    if (!scan_float(p, u) || !std::isfinite(u))
        parse_error(line);
    if (!scan_float(p, v))
        v = 0;
    else if (!std::isfinite(v))
        parse_error(line);
    add_texcoord(r.model, TexCoord{u, 1.0f - v}, r.path);
}

// ---- Groups -----------------------------------------------------------------

static void start_group(ObjexReader& r, Group group)
{
    add_group(r.model, std::move(group), r.path);
    r.current_group = static_cast<uint16_t>(r.model.groups.size() - 1);
}

// "g name" or "o name". A name holding COLLISION makes a collision group; a
// "POS(x,y,z)" in the name gives the group's origin and is cut from the name
// together with the underscores before it.
static void read_group(ObjexReader& r, const char* line, size_t length)
{
    Group group;
    group.name = text_from(line, length, 2);
    if (group.name.find("COLLISION") != std::string::npos)
        group.collision = 1;

    const size_t pos = group.name.find("POS(");
    if (pos != std::string::npos) {
        const char* p = group.name.c_str() + pos + 4;
        float xyz[3] = {};
        bool ok = scan_float(p, xyz[0]) && scan_literal(p, ',') && scan_float(p, xyz[1]) && scan_literal(p, ',') &&
                  scan_float(p, xyz[2]);
        for (float& c : xyz) {
            c *= r.ctx.settings.scale;
            ok = ok && std::isfinite(c);
        }
        if (!ok)
            fatal_error("group '%s' invalid POS arguments!", group.name.c_str());
        group.pos_x = xyz[0];
        group.pos_y = xyz[1];
        group.pos_z = xyz[2];
        size_t cut = pos;
        while (cut > 0 && group.name[cut - 1] == '_')
            --cut;
        group.name.resize(cut);
    }
    start_group(r, std::move(group));
}

// ---- Faces ------------------------------------------------------------------

static int numbers_per_corner(CornerForm form)
{
    switch (form) {
    case CornerForm::position:
        return 1;
    case CornerForm::position_normal:
    case CornerForm::position_texcoord:
        return 2;
    case CornerForm::position_texcoord_normal:
        return 3;
    }
    return 1;
}

// One corner as scanf would read it with the form's directives: the white
// space before it, then "%d", "%d//%d", "%d/%d/%d" or "%d/%d". Returns how
// many numbers were converted before the first mismatch.
static int scan_corner(const char*& p, CornerForm form, Corner& corner)
{
    if (!scan_int(p, corner.position))
        return 0;
    switch (form) {
    case CornerForm::position:
        return 1;
    case CornerForm::position_normal:
        if (!scan_literal(p, '/') || !scan_literal(p, '/') || !scan_int(p, corner.normal))
            return 1;
        return 2;
    case CornerForm::position_texcoord_normal:
        if (!scan_literal(p, '/') || !scan_int(p, corner.texcoord))
            return 1;
        if (!scan_literal(p, '/') || !scan_int(p, corner.normal))
            return 2;
        return 3;
    case CornerForm::position_texcoord:
        if (!scan_literal(p, '/') || !scan_int(p, corner.texcoord))
            return 1;
        return 2;
    }
    return 0;
}

// Reads the face's corners in the first form whose first three corners
// convert every number; corners after the third are read in the same form
// until the text holds no further corner.
static bool scan_face_corners(const char* line, CornerForm form, std::vector<Corner>& corners)
{
    const int per_corner = numbers_per_corner(form);
    const char* p = line + 1;
    corners.clear();
    for (int i = 0; i < 3; ++i) {
        Corner corner;
        if (scan_corner(p, form, corner) != per_corner)
            return false;
        corners.push_back(corner);
    }
    for (;;) {
        const char* q = p;
        Corner corner;
        const int got = scan_corner(q, form, corner);
        if (got == 0)
            break;
        if (got < per_corner)
            parse_error(line);
        corners.push_back(corner);
        p = q;
    }
    return true;
}

// A face index as a 0-based record index. Negative indices count back from
// the records read so far; positive ones are checked once the file is read.
static uint16_t record_index(int index, size_t read_so_far, IndexUse& use, const char* what, const char* line)
{
    if (index > 0) {
        if (index > use.largest) {
            use.largest = index;
            use.line = line;
        }
        return static_cast<uint16_t>(index - 1);
    }
    if (index < 0 && -static_cast<int64_t>(index) <= static_cast<int64_t>(read_so_far))
        return static_cast<uint16_t>(static_cast<int64_t>(read_so_far) + index);
    fatal_error("Face index %d names no %s in line: '%s'", index, what, line);
}

// The face most files are made of: three corners "p/t/n" of positive
// indices of at most eight digits, one blank before each and nothing after.
// Read straight into its triangle, with the results of the general reading
// below; false, with nothing done, for any other face.
static bool read_plain_triangle(ObjexReader& r, const char* line)
{
    std::array<int, 9> numbers;
    const char* p = line + 1;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (*p++ != (i % 3 == 0 ? ' ' : '/'))
            return false;
        uint32_t value = 0;
        const size_t digits = p + 8 <= r.text_end ? eight_digits(p, value) : few_digits(p, value);
        if (digits == 0 || digits == 8 || value == 0)
            return false;
        p += digits;
        numbers[i] = static_cast<int>(value);
    }
    if (*p != '\0')
        return false;

    Triangle triangle;
    for (size_t c = 0; c < 3; ++c) {
        triangle.position[c] = record_index(numbers[3 * c], r.model.vertices.size(), r.positions, "position", line);
        triangle.texcoord[c] =
            record_index(numbers[3 * c + 1], r.model.texcoords.size(), r.texcoords, "texture coordinate", line);
        triangle.normal[c] = record_index(numbers[3 * c + 2], r.model.normals.size(), r.normals, "normal", line);
    }
    triangle.material = r.current_material;
    triangle.group = r.current_group;
    triangle.kind = triangle_drawn;
    add_triangle(r.model, triangle, r.path);
    return true;
}

// "f ..." in one of the four corner forms. Faces of more than three corners
// become a fan of triangles around the first corner, which
// split_pending_faces redoes for the faces that are not convex.
static void read_face(ObjexReader& r, const char* line)
{
    if (r.model.groups.empty())
        start_group(r, Group{"undefined"});
    if (read_plain_triangle(r, line))
        return;

    // Every form reads the first number alike, and the bytes right after it
    // rule out all forms but one or two: only the position form goes on
    // without a '/', and only the position-normal form with "//".
    static constexpr CornerForm forms[] = {CornerForm::position, CornerForm::position_normal,
                                           CornerForm::position_texcoord_normal, CornerForm::position_texcoord};
    const char* after_first = line + 1;
    int first = 0;
    if (!scan_int(after_first, first))
        parse_error(line);
    const size_t first_form = after_first[0] != '/' ? 0 : after_first[1] == '/' ? 1 : 2;
    const size_t last_form = first_form < 2 ? first_form : 3;
    const CornerForm* form = nullptr;
    for (size_t f = first_form; f <= last_form; ++f)
        if (scan_face_corners(line, forms[f], r.corners)) {
            form = &forms[f];
            break;
        }
    if (form == nullptr)
        parse_error(line);
    const bool has_texcoord =
        *form == CornerForm::position_texcoord_normal || *form == CornerForm::position_texcoord;
    const bool has_normal = *form == CornerForm::position_texcoord_normal || *form == CornerForm::position_normal;

    r.resolved.resize(r.corners.size());
    for (size_t i = 0; i < r.corners.size(); ++i) {
        const Corner& c = r.corners[i];
        ResolvedCorner& out = r.resolved[i];
        out.position = record_index(c.position, r.model.vertices.size(), r.positions, "position", line);
        out.texcoord = has_texcoord
                           ? record_index(c.texcoord, r.model.texcoords.size(), r.texcoords, "texture coordinate", line)
                           : absent_index;
        out.normal =
            has_normal ? record_index(c.normal, r.model.normals.size(), r.normals, "normal", line) : absent_index;
    }

    if (r.resolved.size() > 3) {
        r.pending_faces.push_back({r.model.triangles.size(), r.face_corners.size(), r.resolved.size()});
        r.face_corners.insert(r.face_corners.end(), r.resolved.begin(), r.resolved.end());
    }
    for (size_t i = 1; i + 1 < r.corners.size(); ++i) {
        const ResolvedCorner& a = r.resolved[0];
        const ResolvedCorner& b = r.resolved[i];
        const ResolvedCorner& c = r.resolved[i + 1];
        Triangle triangle;
        triangle.position = {a.position, b.position, c.position};
        triangle.texcoord = {a.texcoord, b.texcoord, c.texcoord};
        triangle.normal = {a.normal, b.normal, c.normal};
        triangle.material = r.current_material;
        triangle.group = r.current_group;
        triangle.kind = triangle_drawn;
        add_triangle(r.model, triangle, r.path);
    }
}

// Faces of more than three corners, now that every position is known:
// convex ones keep their fan, the others get the triangles of split_face in
// place of it (as many, so no triangle index moves).
static void split_pending_faces(ObjexReader& r)
{
    FaceSplitScratch scratch;
    std::vector<FacePoint> points;
    std::vector<FaceTriangle> split;
    for (const PendingFace& face : r.pending_faces) {
        const ResolvedCorner* corners = &r.face_corners[face.first_corner];
        points.resize(face.corner_count);
        for (size_t i = 0; i < face.corner_count; ++i) {
            const Vertex& v = r.model.vertices[corners[i].position];
            points[i] = {v.x, v.y, v.z};
        }
        split_face(points, scratch, split);
        for (size_t k = 0; k < split.size(); ++k) {
            Triangle& triangle = r.model.triangles[face.first_triangle + k];
            for (size_t c = 0; c < 3; ++c) {
                const ResolvedCorner& corner = corners[split[k][c]];
                triangle.position[c] = corner.position;
                triangle.texcoord[c] = corner.texcoord;
                triangle.normal[c] = corner.normal;
            }
        }
    }
}

// Stops at the first position beyond the 16-bit fields, naming its line.
static void check_position_range(const ObjexReader& r)
{
    if (!r.position_overflow)
        return;
    const PositionOverflow& at = *r.position_overflow;
    position_out_of_range(format_text("Vertex at line %u of '%s'", at.line, r.path.c_str()),
                          at.file_value, at.stored, r.ctx.settings.scale, "", r.position_span);
}

// Stops when a face named a record beyond those the file holds.
static void check_index_use(const IndexUse& use, size_t count, const char* what)
{
    if (use.largest > 0 && static_cast<size_t>(use.largest) > count)
        fatal_error("Face index %d names no %s in line: '%s'", use.largest, what, use.line);
}

// ---- Materials --------------------------------------------------------------

static uint16_t find_material(MaterialNames& names, const std::vector<Material>& table, const std::string& name)
{
    for (; names.indexed < table.size(); ++names.indexed)
        names.first.emplace(table[names.indexed].name, static_cast<uint16_t>(names.indexed));
    const auto found = names.first.find(name);
    return found == names.first.end() ? unknown_material : found->second;
}

// "usemtl name": the next faces use the first material with that name.
static void read_use_material(ObjexReader& r, const char* line, size_t length)
{
    r.current_material = find_material(r.material_names, r.model.material_table, text_from(line, length, 7));
}

// Faces that name no material of the table are drawn with one plain
// material: white, opaque, lit, back-face culled, untextured.
static void give_default_material(ObjexReader& r)
{
    std::vector<Material>& table = r.model.material_table;
    const size_t defined = table.size();
    bool needed = false;
    for (const Triangle& triangle : r.model.triangles)
        needed = needed || triangle.material >= defined;
    if (!needed)
        return;
    ensure_room(defined, max_materials, "materials", r.path);
    Material fallback;
    fallback.name = "default";
    table.push_back(std::move(fallback));
    for (Triangle& triangle : r.model.triangles)
        if (triangle.material >= defined)
            triangle.material = static_cast<uint16_t>(defined);
}

// ---- Bones ------------------------------------------------------------------

// The quoted names of a VERTGROUPORDER line, in order. Names are told apart
// by the closing quote, blank, opening quote between them.
static std::vector<std::string_view> vertex_group_names(std::string_view line)
{
    std::vector<std::string_view> names;
    size_t open = line.find('"');
    while (open != std::string_view::npos) {
        const size_t close = line.find('"', open + 1);
        const size_t end = close == std::string_view::npos ? line.size() : close;
        names.push_back(line.substr(open + 1, end - open - 1));
        const size_t separator = line.find("\" \"", open + 1);
        open = separator == std::string_view::npos ? separator : separator + 2;
    }
    return names;
}

// "VERTGROUPORDER count "name" "name" ...": later bone lines give positions
// in this list instead of bone indices. A count of 0 (or none) ends the list
// and the bone assignment.
static void read_vertex_group_order(ObjexReader& r, const char* line, size_t length)
{
    const char* p = line + 14;
    int count = 0;
    if (scan_int(p, count) && count != 0) {
        r.order_active = true;
        r.order_names = vertex_group_names(std::string_view(line, length));
    } else {
        r.order_active = false;
        r.order_names.clear();
        r.current_bone = no_bone;
    }
}

// The skeleton whose bone names the vertex group order refers to, if any
// skeleton with named bones was read.
static const Skeleton* named_skeleton(const Model& model)
{
    if (model.skeletons.empty())
        return nullptr;
    for (const Bone& bone : model.skeletons[0].bones)
        if (!bone.name.empty())
            return &model.skeletons[0];
    return nullptr;
}

// "bone n": the next positions belong to bone n, or with a vertex group
// order in force to the bone named at position n of the list; -1 means none.
static void read_bone(ObjexReader& r, const char* line)
{
    const char* p = line + 4;
    int value = 0;
    if (scan_int(p, value))
        r.current_bone = value;
    if (r.current_bone >= 0 && r.order_active) {
        if (static_cast<size_t>(r.current_bone) >= r.order_names.size())
            fatal_error("Bone line '%s' names position %d, but the vertex group order holds %zu names", line,
                        r.current_bone, r.order_names.size());
        const Skeleton* skeleton = named_skeleton(r.model);
        if (skeleton == nullptr)
            fatal_error("Bone line '%s' uses the vertex group order, but no skeleton with named bones was read "
                        "before it",
                        line);
        const std::string_view name = r.order_names[static_cast<size_t>(r.current_bone)];
        size_t index = 0;
        while (index < skeleton->bones.size() && (name.empty() || skeleton->bones[index].name != name))
            ++index;
        if (index == skeleton->bones.size())
            fatal_error("Bone line '%s' names '%.*s', but no bone of the skeleton has that name", line,
                        static_cast<int>(name.size()), name.data());
        r.current_bone = static_cast<int>(index);
    } else if (r.current_bone == -1) {
        r.current_bone = no_bone;
    }

    if (r.current_bone != no_bone) {
        const uint32_t bone = r.current_bone < 0 ? UINT32_MAX : static_cast<uint32_t>(r.current_bone);
        if (r.largest_bone_line == nullptr || bone > r.largest_bone) {
            r.largest_bone = bone;
            r.largest_bone_line = line;
        }
    }
}

// Stops when a bone line gave the vertices after it a bone that skeleton 0
// does not have: later stages would index past its bones. Without a skeleton
// the bones are kept and nothing reads them as limbs.
static void check_bone_use(const ObjexReader& r)
{
    if (r.model.skeletons.empty() || r.largest_bone_line == nullptr)
        return;
    const size_t count = r.model.skeletons[0].bones.size();
    if (r.largest_bone >= count)
        fatal_error("Bone line '%s' names a bone outside the skeleton, which has %zu bones", r.largest_bone_line,
                    count);
}

// ---- Files the geometry names -----------------------------------------------

std::string resolve_relative(const std::string& geometry_path, const std::string& named_path)
{
    const bool rooted = !named_path.empty() && (named_path[0] == '/' || named_path[0] == '\\');
    const bool drive = named_path.size() >= 2 && std::isalpha(static_cast<unsigned char>(named_path[0])) &&
                       named_path[1] == ':';
    if (rooted || drive)
        return named_path;
    const size_t separator = geometry_path.find_last_of("/\\");
    if (separator == std::string::npos)
        return named_path;
    return geometry_path.substr(0, separator + 1) + named_path;
}

// An animation line must follow the skeleton line whose bones size its
// frames. Called at a skeleton line (with its file) and at the end of the
// file (with none); says which two lines stand in the wrong order.
static void check_skeleton_order(const ObjexReader& r, const std::string* skeleton_file)
{
    if (!r.animations_before_skeleton)
        return;
    if (skeleton_file != nullptr)
        fatal_error("The animation file '%s' is named before the skeleton file '%s' in '%s'; the skeleton line "
                    "must come first, as its bones size every frame",
                    r.animations_before_skeleton->c_str(), skeleton_file->c_str(), r.path.c_str());
    fatal_error("The animation file '%s' is named in '%s', but no skeleton file was read before it; its frames "
                "need the skeleton's bones",
                r.animations_before_skeleton->c_str(), r.path.c_str());
}

// ---- The line walk ----------------------------------------------------------

// Room for the records and triangles the text holds, counted by the first
// bytes of its lines before the walk, so that the tables are allocated once
// instead of moving (and touching fresh pages) as they grow. A count may be
// high (a line the clean-up joins or comments out still counts), which only
// reserves more; faces of more than three corners may still grow the
// triangles.
static void reserve_records(const std::string& text, Model& model)
{
    size_t positions = 0, texcoords = 0, normals = 0, faces = 0;
    const char* p = text.c_str();
    const char* const end = p + text.size();
    while (p < end) {
        if (p[0] == 'v')
            ++(p[1] == 't' ? texcoords : p[1] == 'n' ? normals : positions);
        else if (p[0] == 'f')
            ++faces;
        const void* line_end = std::memchr(p, '\n', static_cast<size_t>(end - p));
        if (line_end == nullptr)
            break;
        p = static_cast<const char*>(line_end) + 1;
    }
    // One more than the records, so that the last one does not grow the table.
    const auto room = [](size_t count) { return std::min(count, max_vertex_records) + 1; };
    model.vertices.reserve(room(positions));
    model.texcoords.reserve(room(texcoords));
    model.normals.reserve(room(normals));
    model.triangles.reserve(std::min(faces, max_triangles));
}

static bool has_at(const char* line, size_t length, size_t index, char c)
{
    return index < length && line[index] == c;
}

// One line, dispatched on its first characters.
static void read_line(ObjexReader& r, const char* line, size_t length)
{
    switch (line[0]) {
    case 'v':
        if (has_at(line, length, 1, 'n'))
            read_normal(r, line);
        else if (has_at(line, length, 1, 't'))
            read_texcoord(r, line);
        else
            read_position(r, line);
        return;
    case 'f':
        read_face(r, line);
        return;
    case 'g':
    case 'o':
        read_group(r, line, length);
        return;
    case 'u':
        if (has_at(line, length, 1, 's') && has_at(line, length, 4, 't') && has_at(line, length, 5, 'l'))
            read_use_material(r, line, length);
        return;
    case 'm': {
        const std::string named = text_from(line, length, 7);
        read_named_material_library(r, named, resolve_relative(r.path, named));
        return;
    }
    case 's':
        if (has_at(line, length, 1, 'k') && has_at(line, length, 4, 'e')) {
            const std::string named = text_from(line, length, 9);
            check_skeleton_order(r, &named);
            read_named_skeleton(r.ctx, r.model, named, resolve_relative(r.path, named));
        }
        return;
    case 'a':
        if (has_at(line, length, 1, 'n') && has_at(line, length, 2, 'i')) {
            const std::string named = text_from(line, length, 11);
            // Every frame holds one rotation per bone of the skeleton, so an
            // animation line before any skeleton cannot be read; which line
            // is out of order is told at the next skeleton line or the end.
            if (r.model.skeletons.empty())
                r.animations_before_skeleton = named;
            else
                read_named_animations(r.ctx, r.model, named, resolve_relative(r.path, named));
        }
        return;
    case 'b':
        if (has_at(line, length, 1, 'o') && has_at(line, length, 2, 'n') && has_at(line, length, 3, 'e'))
            read_bone(r, line);
        return;
    default:
        if (std::string_view(line, length).starts_with("VERTGROUPORDER"))
            read_vertex_group_order(r, line, length);
        return;
    }
}

void read_objex(Context& ctx, const std::string& path, Model& model)
{
    TextureLoading textures(ctx, nullptr, false);
    read_objex(ctx, path, model, textures);
}

void read_objex(Context& ctx, const std::string& path, Model& model, TextureLoading& textures)
{
    model = Model();

    // Lines are read as the clean-up completes them; messages about the
    // whole file may point into the text later, so it lives to the end.
    std::string text = read_text_file(path, path);
    reserve_records(text, model);
    // The libraries' texture images may load on the side while the lines
    // are read; the references that wait for them are settled before
    // anything looks at the whole file. A line that stops the reading stops
    // it only after the references before it: an image that failed earlier
    // is the error to report.
    ObjexReader r(ctx, model, path, textures);
    r.text_end = text.data() + text.size() + 1;  // the string's own NUL included
    LineCleaner cleaner = start_cleaning(text);
    CleanLine line;
    textures.settle_after(model, [&] {
        while (next_clean_line(cleaner, line)) {
            r.line_number = line.file_line;
            read_line(r, line.text, line.length);
        }
    });

    // Faces may name records defined after them; now every index must name one.
    check_index_use(r.positions, model.vertices.size(), "position");
    check_index_use(r.texcoords, model.texcoords.size(), "texture coordinate");
    check_index_use(r.normals, model.normals.size(), "normal");
    check_skeleton_order(r, nullptr);
    check_position_range(r);
    split_pending_faces(r);

    give_default_material(r);

    // A model always has a group, even one without triangles.
    if (model.groups.empty())
        model.groups.push_back(Group{"noname"});

    if (!model.skeletons.empty()) {
        check_bone_use(r);
        compute_absolute_bone_positions(model);
    }

    model.file_group_count = static_cast<uint16_t>(model.group_starts.size());
}
