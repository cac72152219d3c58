// The GL headers, and the GL entry points beyond GL 1.1 (multitexture, buffer
// objects, framebuffer objects) looked up at context set-up.
#pragma once

#define GL_GLEXT_PROTOTYPES 0
#include <GL/gl.h>
#include <GL/glext.h>

struct GlExtProcs {
  PFNGLACTIVETEXTUREARBPROC ActiveTextureARB = nullptr;
  PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB = nullptr;
  PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB = nullptr;
  PFNGLGENBUFFERSARBPROC GenBuffersARB = nullptr;
  PFNGLBINDBUFFERARBPROC BindBufferARB = nullptr;
  PFNGLBUFFERDATAARBPROC BufferDataARB = nullptr;
  PFNGLDELETEBUFFERSARBPROC DeleteBuffersARB = nullptr;
  PFNGLMAPBUFFERARBPROC MapBufferARB = nullptr;
  PFNGLUNMAPBUFFERARBPROC UnmapBufferARB = nullptr;
  PFNGLGETBUFFERPARAMETERIVARBPROC GetBufferParameterivARB = nullptr;

  PFNGLGENFRAMEBUFFERSEXTPROC GenFramebuffersEXT = nullptr;
  PFNGLDELETEFRAMEBUFFERSEXTPROC DeleteFramebuffersEXT = nullptr;
  PFNGLBINDFRAMEBUFFEREXTPROC BindFramebufferEXT = nullptr;
  PFNGLGENRENDERBUFFERSEXTPROC GenRenderbuffersEXT = nullptr;
  PFNGLDELETERENDERBUFFERSEXTPROC DeleteRenderbuffersEXT = nullptr;
  PFNGLBINDRENDERBUFFEREXTPROC BindRenderbufferEXT = nullptr;
  PFNGLFRAMEBUFFERTEXTURE2DEXTPROC FramebufferTexture2DEXT = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC FramebufferRenderbufferEXT = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC CheckFramebufferStatusEXT = nullptr;
  PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC GetFramebufferAttachmentParameterivEXT = nullptr;
  PFNGLRENDERBUFFERSTORAGEEXTPROC RenderbufferStorageEXT = nullptr;
};
extern GlExtProcs g_glx;

// Looks up the multitexture / buffer-object group (when the extension string
// names it). Missing names are logged.
void gfx_load_gl_extensions();
// Looks up the framebuffer-object functions and sets the FBO-available flag.
void gfx_init_fbo();
// BGRA flag and texture size limit.
void gfx_record_gl_caps();

// Whether framebuffer objects are there (program-wide, outlives a context).
extern bool g_fbo_available;
