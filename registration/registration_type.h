// The twelve registration models of the "Registration" choice and their transform families.
#pragma once

#include <array>
#include <vector>

enum RegistrationType : int {
    rigid = 0,
    similarity = 1,
    similarity_ffd = 2,
    similarity_lad = 3,
    affine = 4,
    affine_ffd = 5,
    affine_lad = 6,
    aspect = 7,
    aspect_ffd = 8,
    aspect_lad = 9,
    similarity_tps = 10,
    similarity_ssm = 11,
};

constexpr int registration_type_count = 12;

// Labels of the "Registration" choice, in code order.
constexpr std::array<const char*, registration_type_count> registration_type_labels = {
    "Rigid",          "Similarity",     "Similarity + FFD", "Similarity + LAD",
    "Affine",         "Affine + FFD",   "Affine + LAD",     "Aspect",
    "Aspect + FFD",   "Aspect + LAD",   "Similarity + TPS", "Similarity + SSM"};

// Output suffixes shared by the registered LR surface file and the LR-HR map.
constexpr std::array<const char*, registration_type_count> registration_type_suffixes = {
    "-rigid",      "-sim",     "-sim_ffd",    "-sim_lad",     "-aff",     "-aff_ffd",
    "-aff_lad",    "-aspect",  "-aspect_ffd", "-aspect_lad",  "-sim_tps", "-sim_ssm"};

enum class TransformFamily { rigid, similarity, affine, aspect };

constexpr TransformFamily transform_family(int type)
{
    switch (type) {
    case rigid:
        return TransformFamily::rigid;
    case affine:
    case affine_ffd:
    case affine_lad:
        return TransformFamily::affine;
    case aspect:
    case aspect_ffd:
    case aspect_lad:
        return TransformFamily::aspect;
    default:
        return TransformFamily::similarity;
    }
}

// "Match rims" selection.
enum RimMode : int { rims_yes = 0, rims_no = 1, rims_to_rims = 2 };

constexpr bool is_valid_registration_type(int type)
{
    return type >= 0 && type < registration_type_count;
}

// Fitted by the global least-squares fit, one per iteration.
constexpr bool is_global_type(int type)
{
    return type == rigid || type == similarity || type == similarity_ffd || type == affine ||
           type == affine_ffd || type == aspect || type == aspect_ffd || type == similarity_ssm;
}

// The linear types show, match and pick with the LR positions as read; every other type with
// the deformed positions.
constexpr bool shows_positions_as_read(int type)
{
    return type == rigid || type == similarity || type == affine || type == aspect;
}

constexpr bool is_ffd_type(int type)
{
    return type == similarity_ffd || type == affine_ffd || type == aspect_ffd;
}

constexpr bool is_lad_type(int type)
{
    return type == similarity_lad || type == affine_lad || type == aspect_lad;
}

struct FfdGrid;
struct Point3;
struct Surface;
struct WorkingState;

// Index into WorkingState::result_unsaved of the LAD, TPS and SSM types; -1 for the others.
int result_slot(int type);
// The stored result shape of the LAD, TPS and SSM types on the LR surface, made from the
// positions as read if it was not yet; nullptr for the other types.
std::vector<Point3>* stored_result(Surface& lr, int type);
// The same shape for reading only, without making it: the positions as read while it is not made.
const std::vector<Point3>* stored_result_view(const Surface& lr, int type);
// shape, one of lr's stored result shapes, or the positions as read while it is not made.
const std::vector<Point3>* stored_shape_view(const Surface& lr, const std::vector<Point3>& shape);
// The FFD grid of the family of an FFD type; nullptr otherwise.
FfdGrid* family_ffd_grid(WorkingState& state, int type);
