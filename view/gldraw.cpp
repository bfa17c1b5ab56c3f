#include "view/gldraw.h"

#include "view/bitmap_font.h"

#include <wx/log.h>

#include <GL/gl.h>

void glutBitmapCharacter(int font, int character)
{
    const BitmapFont* record = bitmap_font(font);
    if (record == nullptr) {
        wxLogDebug("Unknown font in glutBitmapCharacter");
        return;
    }
    if (character < 1 || character > 255) {
        wxLogDebug("Unknown character in glutBitmapCharacter");
        return;
    }
    // The caller's unpack settings are its own; glyph rows are tightly packed bytes.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const int width = glyph_width(*record, character);
    glBitmap(width, record->height, record->x_origin, record->y_origin, static_cast<GLfloat>(width),
             0.0f, glyph_rows(*record, character));
    glPopClientAttrib();
}

void draw_view_text(const std::string& text)
{
    for (const int code : text_code_points(text))
        glutBitmapCharacter(view_text_font, code);
}
