// Compiling the surface display lists, and the "Surface shading" selection that picks them.
#include "app/app.h"
#include "app/frame.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"
#include "view/vertex_colour.h"

#include <wx/radiobox.h>
#include <wx/slider.h>

#include <GL/gl.h>

namespace {

constexpr GLfloat material_ambient[] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr GLfloat material_specular[] = {0.1f, 0.1f, 0.1f, surface_alpha};
constexpr GLfloat material_shininess = 10.0f;
constexpr GLfloat hr_diffuse[] = {0.2f, 0.9f, 0.2f, surface_alpha}; // green
constexpr GLfloat lr_diffuse[] = {0.9f, 0.2f, 0.2f, surface_alpha}; // red

// Every corner index of the triangle names a vertex that has a position and a normal.
bool usable(const Triangle& t, std::size_t positions, std::size_t normals)
{
    for (const std::int64_t v : t.vertex)
        if (v < 0 || static_cast<std::size_t>(v) >= positions ||
            static_cast<std::size_t>(v) >= normals)
            return false;
    return true;
}

} // namespace

Rgba MyFrame::colour_from_map(double value, float alpha) const
{
    return ::colour_from_map(colour_map, value, alpha);
}

ColourSettings MyFrame::colour_settings() const
{
    ColourSettings s;
    s.colour_map = colour_map;
    s.gain = colour_gain;
    s.offset = colour_offset;
    s.data_min = data_min;
    s.data_max = data_max;
    s.range2 = search_range2();
    return s;
}

void MyFrame::build_display_list(DisplayListKind kind)
{
    const double range2 = search_range2();
    Surface& surface = draws_hr_surface(kind) ? *hr_surface : *lr_surface;
    if (!main_canvas->make_current())
        return;
    std::uint32_t& id = display_list_id(surface, kind);
    if (!display_list_exists(id))
        id = glGenLists(1);
    glFinish();
    // Matching may mark lists out of date; clearing the flag afterwards makes the list being
    // built count as current.
    if (needs_matches(kind) && range2 > lr_surface->match_range2)
        establish_matches();
    const int flag = dirty_flag(kind);
    if (flag >= 0)
        list_dirty[static_cast<std::size_t>(flag)] = false;
    const std::vector<Rgba> colours =
        vertex_colours(kind, *lr_surface, *hr_surface, colour_settings());

    const GLfloat* const diffuse = draws_hr_surface(kind) ? hr_diffuse : lr_diffuse;
    const bool coloured = !colours.empty();
    glNewList(id, GL_COMPILE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material_ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material_specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material_shininess);
    if (coloured) {
        // The diffuse material of both faces follows the colour given with each corner: one
        // attribute per corner where the material itself takes two (front and back), so the
        // list compiles faster and holds less, for the same pictures. Enabling starts the
        // material from the list's own diffuse colour, as a corner without a colour keeps it.
        glColor4fv(diffuse);
        glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
    }
    const std::vector<Point3>& positions = surface.shown_positions();
    const std::vector<Point3>& normals = surface.shown_normals();
    glBegin(GL_TRIANGLES);
    for (const Triangle& triangle : surface.triangles) {
        if (!usable(triangle, positions.size(), normals.size()))
            continue;
        for (const std::int64_t v : triangle.vertex) {
            const auto i = static_cast<std::size_t>(v);
            if (i < colours.size())
                glColor4fv(colours[i].data());
            glNormal3d(normals[i].x, normals[i].y, normals[i].z);
            glVertex3d(positions[i].x, positions[i].y, positions[i].z);
        }
    }
    glEnd();
    if (coloured)
        glDisable(GL_COLOR_MATERIAL);
    glEndList();
}

void MyFrame::refresh_data_lists()
{
    list_dirty[dirty_lr_data] = true;
    list_dirty[dirty_lr_curvature] = true;
    list_dirty[dirty_registration_error] = true;
    list_dirty[dirty_absolute_data_error] = true;
    list_dirty[dirty_signed_data_error] = true;
    if (!main_canvas->make_current())
        return;
    if (display_list_exists(hr_surface->data_list))
        build_display_list(list_hr_data);
    if (display_list_exists(hr_surface->curvature_list))
        build_display_list(list_hr_curvature);
}

void MyFrame::OnSurfaceShading(wxCommandEvent& event)
{
    const int mode = event.GetInt();
    if (mode == shading_registration_error)
        establish_matches_and_display_alignment_error();
    else
        SetStatusText("", 0);
    colour_map = mode == shading_gaussian_curvature || mode == shading_signed_data_error
                     ? default_signed_colour_map
                     : default_data_colour_map;
    colour_gain = 1.0;
    colour_offset = 0.0;
    refresh_data_lists();
    Refresh(true);
}
