// Painting the view: the one-time GL state, the viewport, and the scene drawn into the back
// buffer (surfaces from their display lists, then the overlays).
#include "view/gl_canvas.h"

#include "app/app.h"
#include "app/frame.h"
#include "view/gldraw.h"
#include "view/shown_lists.h"
#include "view/view_maths.h"

#include <wx/checkbox.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>

#include <GL/gl.h>

namespace {

// The fixed GL state is set once per process, at the first set-up.
bool gl_state_initialised = false;

struct Light {
    GLenum id;
    GLfloat diffuse;
    GLfloat specular;
    GLfloat position[4];
};

// Three directional lights, fixed relative to the viewer: one from the front, two obliquely.
void set_up_gl_state()
{
    glDrawBuffer(GL_BACK);
    glClearDepth(1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const Light lights[] = {{GL_LIGHT0, 0.6f, 0.2f, {0, 0, 1, 0}},
                            {GL_LIGHT1, 0.3f, 0.1f, {1, 1, 1, 0}},
                            {GL_LIGHT2, 0.3f, 0.1f, {-1, -1, 1, 0}}};
    const GLfloat ambient[] = {0, 0, 0, 1};
    for (const Light& light : lights) {
        const GLfloat diffuse[] = {light.diffuse, light.diffuse, light.diffuse, 1};
        const GLfloat specular[] = {light.specular, light.specular, light.specular, 1};
        glLightfv(light.id, GL_AMBIENT, ambient);
        glLightfv(light.id, GL_DIFFUSE, diffuse);
        glLightfv(light.id, GL_SPECULAR, specular);
        glLightfv(light.id, GL_POSITION, light.position);
        glEnable(light.id);
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_NORMALIZE);
    glDepthFunc(GL_LEQUAL);
    glShadeModel(GL_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
}

// Opaque: one call. Translucent: the back faces first, then the front faces, blended, so the
// far side of the surface shows through the near side.
void draw_list(std::uint32_t id, bool translucent)
{
    if (!translucent) {
        glCallList(id);
        return;
    }
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glCallList(id);
    glCullFace(GL_BACK);
    glCallList(id);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
}

bool ticked(const wxCheckBox* box)
{
    return box != nullptr && box->GetValue();
}

} // namespace

void MyGLCanvas::init_gl_view()
{
    GetClientSize(&client_width, &client_height);
    if (!make_current())
        return;
    if (!gl_state_initialised) {
        zoom = 1.0;
        set_up_gl_state();
        gl_state_initialised = true;
    }
    glViewport(0, 0, client_width, client_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, client_width, 0.0, client_height, -view_depth, view_depth);
    glMatrixMode(GL_MODELVIEW);
    viewport_set = true;
}

std::array<float, 3> MyGLCanvas::contrast_colour() const
{
    return white_background ? std::array<float, 3>{0, 0, 0} : std::array<float, 3>{1, 1, 1};
}

void MyGLCanvas::draw_no_model_text()
{
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    const std::array<float, 3> c = contrast_colour();
    glColor3f(c[0], c[1], c[2]);
    glRasterPos2i(20, client_height - 20);
    draw_view_text("No SSM loaded");
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
}

void MyGLCanvas::draw_view()
{
    if (white_background)
        glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    else
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // A paint while the window is still being built shows the background only.
    if (main_frame == nullptr) {
        glFlush();
        return;
    }
    MyFrame& frame = *main_frame;

    if (frame.control_notebook->GetSelection() == 1 && !frame.ssm_component_slider->IsEnabled()) {
        draw_no_model_text();
        glFlush();
        return;
    }

    Surface& lr = *frame.lr_surface;
    Surface& hr = *frame.hr_surface;
    const ShadingMode mode = static_cast<ShadingMode>(frame.shading_radiobox->GetSelection());
    const bool lr_ticked = ticked(frame.lr_checkbox);
    const ShownLists shown = choose_shown_lists(
        mode, frame.list_dirty, lr_ticked, frame.lr_data_loaded, display_list_exists(hr.data_list));
    if (shown.rebuild_lr)
        frame.build_display_list(shown.lr_kind);

    glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);
    const Matrix4 view = view_matrix(client_width, client_height, zoom, view_rotation);

    // LR surface, where the current transform puts it in the HR frame.
    const Matrix4 lr_model_view = product(view, product(frame.current_transform, lr.to_centred));
    frame.screen_matrix = lr_model_view.m;
    glLoadMatrixd(lr_model_view.m.data());
    const bool has_lr_vertices = lr.vertex_count > 0;
    if (ticked(frame.displacements_checkbox) && has_lr_vertices)
        draw_displacements();
    const std::uint32_t lr_list = display_list_id(lr, shown.lr_kind);
    if (display_list_exists(lr_list) && lr_ticked) {
        // A reflecting pose turns the winding of the triangles round.
        if (linear_determinant(frame.current_transform) < 0.0)
            glFrontFace(GL_CW);
        draw_list(lr_list, shown.translucent);
        glFrontFace(GL_CCW);
    }

    // HR surface: the scene is centred on the HR centroid.
    glLoadMatrixd(product(view, hr.to_centred).m.data());
    if (shown.hr_shown) {
        const std::uint32_t hr_list = display_list_id(hr, shown.hr_kind);
        if (display_list_exists(hr_list) && ticked(frame.hr_checkbox))
            draw_list(hr_list, shown.translucent);
    }
    if (ticked(frame.matches_checkbox))
        draw_matches();
    if (wireframe)
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    if (ticked(frame.landmarks_checkbox))
        draw_landmarks();

    // Screen space: pixels from the lower-left corner.
    glLoadIdentity();
    if (has_lr_vertices) {
        if (shown.colour_bar_kind >= 0)
            draw_colour_bar(shown.colour_bar_kind);
        if (linear_determinant(frame.current_transform) < 0.0)
            draw_mirror_icon();
        draw_scale_bar();
    }
    glFlush();
}
