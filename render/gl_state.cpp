#include "render/gl_state.h"

static void SetEnabled(GLenum capability, GLboolean enabled) {
    if (enabled) glEnable(capability);
    else glDisable(capability);
}

SavedGLState SaveGLState(unsigned parts) {
    SavedGLState s = {};
    s.Parts = parts;
    if (parts & SAVE_DRAW_FRAMEBUFFER) glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.DrawFramebuffer);
    if (parts & SAVE_READ_FRAMEBUFFER) glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &s.ReadFramebuffer);
    if (parts & SAVE_VIEWPORT) glGetIntegerv(GL_VIEWPORT, s.Viewport);
    if (parts & SAVE_PROGRAM) glGetIntegerv(GL_CURRENT_PROGRAM, &s.Program);
    if (parts & SAVE_VERTEX_ARRAY) {
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s.VertexArray);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s.ArrayBuffer);
    }
    if (parts & SAVE_TEXTURES) {
        glGetIntegerv(GL_ACTIVE_TEXTURE, &s.ActiveTexture);
        for (int unit = 0; unit < 2; ++unit) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.Textures[unit]);
        }
        glActiveTexture(GLenum(s.ActiveTexture));
    }
    if (parts & SAVE_SCISSOR_TEST) s.Scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (parts & SAVE_BLEND_DEPTH_CULL) {
        s.Blend = glIsEnabled(GL_BLEND);
        s.Depth = glIsEnabled(GL_DEPTH_TEST);
        s.Cull = glIsEnabled(GL_CULL_FACE);
    }
    if (parts & SAVE_COLOR_MASK) glGetBooleanv(GL_COLOR_WRITEMASK, s.ColorMask);
    if (parts & SAVE_CLEAR_COLOR) glGetFloatv(GL_COLOR_CLEAR_VALUE, s.ClearColor);
    if (parts & SAVE_PACK) {
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &s.PackBuffer);
        glGetIntegerv(GL_PACK_ALIGNMENT, &s.PackAlignment);
        glGetIntegerv(GL_PACK_ROW_LENGTH, &s.PackRowLength);
        glGetIntegerv(GL_PACK_SKIP_ROWS, &s.PackSkipRows);
        glGetIntegerv(GL_PACK_SKIP_PIXELS, &s.PackSkipPixels);
    }
    return s;
}

void RestoreGLState(const SavedGLState& s) {
    const unsigned parts = s.Parts;
    if (parts & SAVE_DRAW_FRAMEBUFFER) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(s.DrawFramebuffer));
    if (parts & SAVE_READ_FRAMEBUFFER) glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(s.ReadFramebuffer));
    if (parts & SAVE_VIEWPORT) glViewport(s.Viewport[0], s.Viewport[1], s.Viewport[2], s.Viewport[3]);
    if (parts & SAVE_PROGRAM) glUseProgram(GLuint(s.Program));
    if (parts & SAVE_VERTEX_ARRAY) {
        glBindVertexArray(GLuint(s.VertexArray));
        glBindBuffer(GL_ARRAY_BUFFER, GLuint(s.ArrayBuffer));
    }
    if (parts & SAVE_TEXTURES) {
        for (int unit = 0; unit < 2; ++unit) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            glBindTexture(GL_TEXTURE_2D, GLuint(s.Textures[unit]));
        }
        glActiveTexture(GLenum(s.ActiveTexture));
    }
    if (parts & SAVE_SCISSOR_TEST) SetEnabled(GL_SCISSOR_TEST, s.Scissor);
    if (parts & SAVE_BLEND_DEPTH_CULL) {
        SetEnabled(GL_BLEND, s.Blend);
        SetEnabled(GL_DEPTH_TEST, s.Depth);
        SetEnabled(GL_CULL_FACE, s.Cull);
    }
    if (parts & SAVE_COLOR_MASK) glColorMask(s.ColorMask[0], s.ColorMask[1], s.ColorMask[2], s.ColorMask[3]);
    if (parts & SAVE_CLEAR_COLOR) glClearColor(s.ClearColor[0], s.ClearColor[1], s.ClearColor[2], s.ClearColor[3]);
    if (parts & SAVE_PACK) {
        glPixelStorei(GL_PACK_ALIGNMENT, s.PackAlignment);
        glPixelStorei(GL_PACK_ROW_LENGTH, s.PackRowLength);
        glPixelStorei(GL_PACK_SKIP_ROWS, s.PackSkipRows);
        glPixelStorei(GL_PACK_SKIP_PIXELS, s.PackSkipPixels);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(s.PackBuffer));
    }
}
