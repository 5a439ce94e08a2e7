// gl_state: the GL state a pass changes, saved before it and put back after it, so that whoever
// draws around the pass (the frame, the interface, a test) finds its state as it left it.
//
//   const SavedGLState saved = SaveGLState(SAVE_DRAW_FRAMEBUFFER | SAVE_SCISSOR_TEST);
//   glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
//   glDisable(GL_SCISSOR_TEST);
//   ...draw...
//   RestoreGLState(saved);               // the parts saved, and only those
//
// Each routine names the parts it changes, so that it queries and sets no more than those.
// It does not save the element array binding (the vertex array records it), the uniforms or
// anything on texture units past the second, and checks no GL error.
// Main thread only, with the context current.
#pragma once
#include "gl/gl_loader.h"

enum SavedGLPart : unsigned {
    SAVE_DRAW_FRAMEBUFFER = 1u << 0,
    SAVE_READ_FRAMEBUFFER = 1u << 1,
    SAVE_VIEWPORT = 1u << 2,
    SAVE_PROGRAM = 1u << 3,
    SAVE_VERTEX_ARRAY = 1u << 4,      // the vertex array and the array buffer binding
    SAVE_TEXTURES = 1u << 5,          // the active unit and the 2D textures of units 0 and 1
    SAVE_SCISSOR_TEST = 1u << 6,      // the switch, not the box
    SAVE_BLEND_DEPTH_CULL = 1u << 7,  // the three switches
    SAVE_COLOR_MASK = 1u << 8,
    SAVE_CLEAR_COLOR = 1u << 9,
    SAVE_PACK = 1u << 10,  // the pixel pack buffer binding and the pack settings
};

struct SavedGLState {
    unsigned Parts;
    GLint DrawFramebuffer, ReadFramebuffer;
    GLint Viewport[4];
    GLint Program, VertexArray, ArrayBuffer;
    GLint ActiveTexture, Textures[2];
    GLboolean Scissor, Blend, Depth, Cull;
    GLboolean ColorMask[4];
    GLfloat ClearColor[4];
    GLint PackBuffer, PackAlignment, PackRowLength, PackSkipRows, PackSkipPixels;
};

SavedGLState SaveGLState(unsigned parts);
void RestoreGLState(const SavedGLState& saved);
