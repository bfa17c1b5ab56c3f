// The overlays drawn over the surfaces: landmark, semilandmark and landcurve markers with
// their labels, match and displacement lines, and the scale bar, colour bar and mirror icon
// in screen space. Where things go comes from the core (overlay_geometry, overlay_labels);
// this file only issues the GL calls.
#include "app/app.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "view/gl_canvas.h"
#include "view/gldraw.h"
#include "view/overlay_geometry.h"
#include "view/overlay_labels.h"
#include "view/view_maths.h"

#include <wx/checkbox.h>
#include <wx/notebook.h>
#include <wx/slider.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <functional>

namespace {

// Created at the first landmark drawing and kept for the life of the process.
GLUquadric* gl_quadric = nullptr;

struct MarkerColours {
    GLfloat paired[4];
    GLfloat unpaired[4];
};
constexpr MarkerColours lr_marker_colours{{0.9f, 0.2f, 0.2f, 0.5f}, {0.5f, 0.1f, 0.1f, 0.5f}};
constexpr MarkerColours hr_marker_colours{{0.2f, 0.9f, 0.2f, 0.5f}, {0.1f, 0.5f, 0.1f, 0.5f}};

// As for the surfaces, so the markers are lit alike.
constexpr GLfloat marker_ambient[] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr GLfloat marker_specular[] = {0.1f, 0.1f, 0.1f, 0.5f};
constexpr GLfloat marker_shininess = 10.0f;

// Registration page, as the notebook numbers its pages.
constexpr int registration_page = 0;
constexpr int utilities_page = 1;

void set_marker_colour(const GLfloat* colour)
{
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, colour);
}

void vertex(const Point3& p) { glVertex3d(p.x, p.y, p.z); }

void colour(const Rgba& c) { glColor4f(c[0], c[1], c[2], c[3]); }

// One GL_LINES batch drawn flat over everything: no lighting, no depth test. `set_colour`
// sets the colour of each end (0 the start, 1 the end) before its vertex.
void draw_line_batch(const std::vector<OverlayLine>& lines,
                     const std::function<void(const OverlayLine&, int)>& set_colour)
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glBegin(GL_LINES);
    for (const OverlayLine& line : lines) {
        set_colour(line, 0);
        vertex(line.from);
        set_colour(line, 1);
        vertex(line.to);
    }
    glEnd();
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
}

// What draw_landmarks reads once per paint for placing labels and sizing markers.
struct MarkerScene {
    GLdouble model_view[16];
    GLdouble projection[16];
    GLint viewport[4];
    double lr_radius;   // max_radius of the LR surface
    double label_shift; // landmark radius in pixels: labels stand this far in front
    std::array<float, 3> contrast;
    int label_mode;
};

void draw_label(const MarkerScene& scene, const Point3& at, const std::string& text)
{
    GLdouble x = 0.0, y = 0.0, z = 0.0;
    if (gluProject(at.x, at.y, at.z, scene.model_view, scene.projection, scene.viewport, &x, &y,
                   &z) != GL_TRUE)
        return;
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glColor3f(scene.contrast[0], scene.contrast[1], scene.contrast[2]);
    // Window depth back to the view's depth, then towards the viewer by the marker radius.
    glRasterPos3d(x, y, (1.0 - 2.0 * z) * view_depth + scene.label_shift);
    draw_view_text(text);
    glEnable(GL_LIGHTING);
    glPopMatrix();
}

void draw_sphere(const Point3& at, double radius)
{
    glPushMatrix();
    glTranslated(at.x, at.y, at.z);
    gluSphere(gl_quadric, radius, 16, 16);
    glPopMatrix();
}

// Where one surface's items are drawn: its transform and, for the LR surface under a TPS
// warp, the warp.
struct ItemPlacement {
    const Surface& surface;
    Matrix4 transform;
    const TpsWarp* warp;
};

bool place(const ItemPlacement& placement, const Landmark& point, Point3& at)
{
    return overlay_position(placement.surface, point, placement.transform, placement.warp, at);
}

void draw_landcurve(const MarkerScene& scene, const ItemPlacement& placement,
                    const Landcurve& curve)
{
    std::vector<Point3> points;
    for (const Landmark& point : drawn_curve_points(curve)) {
        Point3 at;
        if (place(placement, point, at))
            points.push_back(at);
    }
    if (points.empty())
        return;
    const double radius = curve_marker_radius_fraction * scene.lr_radius;
    const double length = curve_marker_length_fraction * scene.lr_radius;
    const std::vector<Point3> directions = curve_marker_directions(points, curve.closed);
    for (std::size_t i = 0; i < points.size(); ++i) {
        glPushMatrix();
        glTranslated(points[i].x, points[i].y, points[i].z);
        const MarkerTurn turn = marker_turn(directions[i]);
        if (turn.turn)
            glRotated(turn.angle, turn.axis.x, turn.axis.y, turn.axis.z);
        glTranslated(0.0, 0.0, -0.5 * length);
        gluCylinder(gl_quadric, radius, radius, length, 8, 1);
        // The quadric's winding may have turned the front face round.
        glFrontFace(GL_CCW);
        glPopMatrix();
    }
    if (scene.label_mode != 0)
        draw_label(scene, points.front(), curve.name);
}

void draw_surface_items(const MarkerScene& scene, const ItemPlacement& placement,
                        const MarkerColours& colours, const std::vector<Landmark>* picked)
{
    const Surface& surface = placement.surface;
    const double landmark_radius = landmark_radius_fraction * scene.lr_radius;
    const double small_radius = semilandmark_radius_fraction * scene.lr_radius;
    Point3 at;
    for (const Landmark& landmark : surface.landmarks) {
        set_marker_colour(landmark.partner >= 0 ? colours.paired : colours.unpaired);
        if (!place(placement, landmark, at))
            continue;
        draw_sphere(at, landmark_radius);
        if (scene.label_mode != 0)
            draw_label(scene, at, landmark.name);
    }
    set_marker_colour(colours.unpaired);
    for (std::size_t i = 0; i < surface.semilandmarks.size(); ++i) {
        if (!place(placement, surface.semilandmarks[i], at))
            continue;
        draw_sphere(at, small_radius);
        if (scene.label_mode == 2)
            draw_label(scene, at, std::to_string(i));
    }
    for (const Landcurve& curve : surface.landcurves) {
        set_marker_colour(curve.partner >= 0 ? colours.paired : colours.unpaired);
        draw_landcurve(scene, placement, curve);
    }
    if (picked == nullptr)
        return;
    set_marker_colour(colours.paired);
    for (const Landmark& point : *picked)
        if (place(placement, point, at))
            draw_sphere(at, small_radius);
}

bool ticked(const wxCheckBox* box) { return box != nullptr && box->GetValue(); }

// LR file coordinates into HR file coordinates under the current pose.
Matrix4 lr_to_hr_transform(const MyFrame& frame)
{
    return product(frame.hr_surface->from_centred,
                   product(frame.current_transform, frame.lr_surface->to_centred));
}

// Screen-space line art: unlit, over everything, in the contrast colour.
void begin_flat_contrast(const std::array<float, 3>& contrast)
{
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor3f(contrast[0], contrast[1], contrast[2]);
}

// Landmarks and matches need both surfaces.
bool has_both_surfaces(const MyFrame& frame)
{
    return frame.lr_surface->vertex_count != 0 && frame.hr_surface->vertex_count != 0;
}

} // namespace

void MyGLCanvas::draw_landmarks()
{
    MyFrame& frame = *main_frame;
    if (!has_both_surfaces(frame))
        return;
    const Surface& lr = *frame.lr_surface;
    const Surface& hr = *frame.hr_surface;
    if (gl_quadric == nullptr)
        gl_quadric = gluNewQuadric();
    gluQuadricDrawStyle(gl_quadric, GLU_FILL);
    MarkerScene scene{};
    glGetDoublev(GL_MODELVIEW_MATRIX, scene.model_view);
    glGetDoublev(GL_PROJECTION_MATRIX, scene.projection);
    glGetIntegerv(GL_VIEWPORT, scene.viewport);
    scene.lr_radius = lr.max_radius;
    scene.label_shift = landmark_radius_fraction * lr.max_radius * zoom;
    scene.contrast = contrast_colour();
    scene.label_mode = label_mode;

    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, marker_ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, marker_specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, marker_shininess);

    if (ticked(frame.lr_checkbox)) {
        const bool warped = frame.current_registration_type() == similarity_tps &&
                            frame.control_notebook->GetSelection() == registration_page &&
                            !frame.tps_warp.control_points.empty();
        const ItemPlacement placement{lr, lr_to_hr_transform(frame),
                                      warped ? &frame.tps_warp : nullptr};
        draw_surface_items(scene, placement, lr_marker_colours,
                           frame.landcurve_state == 1 ? &frame.picked_points : nullptr);
    }
    if (ticked(frame.hr_checkbox)) {
        const ItemPlacement placement{hr, identity_matrix(), nullptr};
        draw_surface_items(scene, placement, hr_marker_colours,
                           frame.landcurve_state == 2 ? &frame.picked_points : nullptr);
    }
}

void MyGLCanvas::draw_matches()
{
    MyFrame& frame = *main_frame;
    if (!has_both_surfaces(frame))
        return;
    const double range2 = frame.search_range2();
    if (range2 > frame.lr_surface->match_range2)
        frame.establish_matches();
    const std::array<float, 3> plain = contrast_colour();
    const std::vector<OverlayLine> lines =
        match_lines(*frame.lr_surface, *frame.hr_surface, lr_to_hr_transform(frame), range2);
    draw_line_batch(lines, [&](const OverlayLine& line, int) {
        if (line.fussy)
            glColor3f(1.0f, 0.0f, 1.0f); // magenta
        else
            glColor3f(plain[0], plain[1], plain[2]);
    });
}

void MyGLCanvas::draw_displacements()
{
    MyFrame& frame = *main_frame;
    const bool from_mean = frame.control_notebook->GetSelection() == utilities_page;
    // Red where the vertex started, green where it is shown, blended along the line.
    draw_line_batch(displacement_lines(*frame.lr_surface, from_mean ? &frame.ssm_mean : nullptr),
                    [](const OverlayLine&, int end) {
                        if (end == 0)
                            glColor3f(1.0f, 0.0f, 0.0f);
                        else
                            glColor3f(0.0f, 1.0f, 0.0f);
                    });
}

void MyGLCanvas::draw_scale_bar()
{
    const int w = client_width;
    begin_flat_contrast(contrast_colour());
    glBegin(GL_LINE_STRIP);
    glVertex2i(5, 8);
    glVertex2i(5, 5);
    glVertex2i(w - 5, 5);
    glVertex2i(w - 5, 8);
    glEnd();
    glRasterPos2i(5, 10);
    draw_view_text("0.0");
    const ScaleBarLabel label = scale_bar_label(w, zoom);
    if (label.shown) {
        glRasterPos2i(label.x, 10);
        draw_view_text(label.text);
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
}

void MyGLCanvas::draw_legend_swatch(int row, bool outline)
{
    const int h = client_height;
    glBegin(outline ? GL_LINE_LOOP : GL_QUADS);
    glVertex2i(5, h - 2 * row - 5);
    glVertex2i(15, h - 2 * row - 5);
    glVertex2i(15, h - 2 * row - 11);
    glVertex2i(5, h - 2 * row - 11);
    glEnd();
}

void MyGLCanvas::draw_colour_bar(int kind)
{
    MyFrame& frame = *main_frame;
    const int h = client_height;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    const int b = colour_bar_below_rows(kind);
    if (b > 0) {
        colour(frame.colour_from_map(-1.0, 1.0f));
        draw_legend_swatch(0, false);
    }
    // Low values at the top, 2 pixels per step, colours blended between the steps.
    constexpr int ramp_steps = 64;
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < ramp_steps; ++i) {
        colour(frame.colour_from_map(static_cast<double>(i) / (ramp_steps - 1), 1.0f));
        const int y = h - 5 - 2 * (b + i);
        glVertex2i(5, y);
        glVertex2i(15, y);
    }
    glEnd();
    colour(frame.colour_from_map(2.0, 1.0f));
    glBegin(GL_QUADS);
    glVertex2i(5, h - 2 * b - 137);
    glVertex2i(15, h - 2 * b - 137);
    glVertex2i(15, h - 2 * b - 143);
    glVertex2i(5, h - 2 * b - 143);
    glEnd();
    if (colour_bar_has_invalid(kind)) {
        if (white_background)
            glColor3f(0.0f, 0.0f, 0.0f);
        else
            colour(colour_map_rgba(frame.colour_map, colour_map_no_data, 1.0f));
        draw_legend_swatch(b + 73, white_background);
    }
    if (colour_bar_has_unmatched(kind)) {
        glColor3f(0.25f, 0.25f, 0.25f);
        draw_legend_swatch(b + 80, false);
    }
    glFlush();

    ColourBarSettings settings;
    settings.data_min = frame.data_min;
    settings.data_max = frame.data_max;
    settings.gain = frame.colour_gain;
    settings.offset = frame.colour_offset;
    settings.search_range = frame.search_range_slider->GetValue() / frame.range_units;
    settings.data_units = frame.data_units;
    const std::array<float, 3> c = contrast_colour();
    glColor3f(c[0], c[1], c[2]);
    for (const ColourBarLabel& label :
         colour_bar_labels(kind, colour_bar_values(kind, settings), h)) {
        glRasterPos2i(20, label.y);
        draw_view_text(label.text);
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}

void MyGLCanvas::draw_mirror_icon()
{
    begin_flat_contrast(contrast_colour());
    glBegin(GL_TRIANGLES);
    glVertex2i(5, 40);
    glVertex2i(11, 32);
    glVertex2i(5, 27);
    glEnd();
    glBegin(GL_LINES);
    glVertex2i(15, 41);
    glVertex2i(15, 25);
    glEnd();
    glBegin(GL_TRIANGLES);
    glVertex2i(24, 40);
    glVertex2i(24, 27);
    glVertex2i(18, 32);
    glEnd();
    // The arc of the turn over the mirror line, and its arrow head.
    const double degree = std::acos(-1.0) / 180.0;
    glBegin(GL_LINE_STRIP);
    for (int a = 5; a <= 180; ++a)
        glVertex2d(15.0 - 6.0 * std::cos(a * degree), 40.0 + 6.0 * std::sin(a * degree));
    glEnd();
    glBegin(GL_LINE_STRIP);
    glVertex2i(17, 42);
    glVertex2i(21, 40);
    glVertex2i(22, 45);
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}
