// Saving the view as an image file: the scene is drawn into the back buffer and read there,
// because the front buffer of some GL stacks reads back black once it has been swapped.
#include "app/app.h"
#include "app/frame.h"
#include "surface/status_log.h"
#include "surface/whole_file.h"
#include "view/gl_canvas.h"
#include "view/screenshot.h"

#include <wx/dcclient.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/mstream.h>

#include <GL/gl.h>

namespace {

// A new handler for one of the four supported types; null for any other type.
wxImageHandler* new_image_handler(wxBitmapType type)
{
    switch (type) {
    case wxBITMAP_TYPE_PNG:
        return new wxPNGHandler;
    case wxBITMAP_TYPE_JPEG:
        return new wxJPEGHandler;
    case wxBITMAP_TYPE_BMP:
        return new wxBMPHandler;
    case wxBITMAP_TYPE_TIFF:
        return new wxTIFFHandler;
    default:
        return nullptr;
    }
}

// Registers the handler of `type` unless one is registered already; false for a type that
// is not supported.
bool ensure_image_handler(wxBitmapType type)
{
    if (wxImage::FindHandler(type) != nullptr)
        return true;
    wxImageHandler* handler = new_image_handler(type);
    if (handler == nullptr)
        return false;
    wxImage::AddHandler(handler);
    return true;
}

// Encodes the image and writes the file through write_whole_file, so a picture that does not
// reach the disk whole leaves no cut-off file and an older picture of the same name stays. The
// toolkit's own error messages are held back: they would open a dialog in the middle of a run.
bool write_image(const wxImage& image, const wxString& file_name, wxBitmapType type)
{
    wxLogNull no_dialogs;
    wxMemoryOutputStream encoded;
    if (!image.SaveFile(encoded, type) || !encoded.IsOk())
        return false;
    const wxStreamBuffer* buffer = encoded.GetOutputStreamBuffer();
    const std::string bytes(static_cast<const char*>(buffer->GetBufferStart()),
                            static_cast<std::size_t>(encoded.GetLength()));
    return write_whole_file(std::string(file_name.fn_str()), bytes);
}

// No caller of the program asks for another type; a batch run must not stop at a dialog.
void report_unsupported_image_type()
{
    if (main_frame != nullptr && main_frame->batch_running) {
        log_status("Unsupported bitmap type, unable to save image");
        return;
    }
    wxMessageDialog dialog(nullptr, "Unsupported bitmap type,\nunable to save image",
                           "Image not saved", wxOK | wxICON_INFORMATION);
    dialog.ShowModal();
}

} // namespace

bool MyGLCanvas::capture_view(wxImage& image)
{
    wxClientDC dc(this);
    if (!dc.IsOk() || !make_current())
        return false;
    if (!viewport_set)
        init_gl_view();
    const int width = client_width;
    const int height = client_height;
    if (width <= 0 || height <= 0)
        return false;

    draw_view();
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadBuffer(GL_BACK);
    std::vector<std::uint8_t> read(padded_row_length(width) * static_cast<std::size_t>(height));
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, read.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // Show what was read, so the picture and the screen agree.
    SwapBuffers();

    std::vector<std::uint8_t> rgb = upright_rgb(read, width, height);
    image = wxImage(width, height, rgb.data(), true).Copy();
    return image.IsOk();
}

bool MyGLCanvas::save_canvas_image(const wxString& file_name, wxBitmapType type)
{
    wxImage image;
    if (!capture_view(image))
        return false;
    if (!ensure_image_handler(type)) {
        report_unsupported_image_type();
        return false;
    }
    if (write_image(image, file_name, type))
        return true;
    log_status("Could not save image " + file_name.utf8_string());
    return false;
}

void MyFrame::OnCanvasSave(wxCommandEvent&)
{
    if (lr_surface->vertex_count == 0) {
        log_status("Need LR and HR surfaces");
        return;
    }
    if (main_canvas->save_canvas_image(
            wxString::FromUTF8(screenshot_file_name(*lr_surface, *hr_surface)), wxBITMAP_TYPE_PNG))
        log_status("Screenshot saved");
}
