// The twelve registration models of the "Registration" choice and their transform families.
#pragma once

#include <array>

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
