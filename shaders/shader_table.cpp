// The 255 shader slots: loading, selecting and feeding uniforms.
#define GL_GLEXT_PROTOTYPES 0
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gl_proc.h"
#include "runtime/virtual_file.h"
#include "shaders/shader_table.h"
#include "tamblix/errors.h"
#include "tamblix/runtime.h"
#include "tamblix/shaders.h"

namespace {

constexpr int kShaderSlots = 255;
// A shader source larger than this is no shader a program means to load.
constexpr int64_t kMaxSourceBytes = 1 << 20;

struct ShaderSlot {
  GLhandleARB program = 0, vertex = 0, fragment = 0;
};

struct ShaderProcs {
  PFNGLCREATEPROGRAMOBJECTARBPROC CreateProgramObjectARB = nullptr;
  PFNGLDELETEOBJECTARBPROC DeleteObjectARB = nullptr;
  PFNGLCREATESHADEROBJECTARBPROC CreateShaderObjectARB = nullptr;
  PFNGLSHADERSOURCEARBPROC ShaderSourceARB = nullptr;
  PFNGLCOMPILESHADERARBPROC CompileShaderARB = nullptr;
  PFNGLGETOBJECTPARAMETERIVARBPROC GetObjectParameterivARB = nullptr;
  PFNGLATTACHOBJECTARBPROC AttachObjectARB = nullptr;
  PFNGLGETINFOLOGARBPROC GetInfoLogARB = nullptr;
  PFNGLLINKPROGRAMARBPROC LinkProgramARB = nullptr;
  PFNGLUSEPROGRAMOBJECTARBPROC UseProgramObjectARB = nullptr;
  PFNGLGETUNIFORMLOCATIONARBPROC GetUniformLocationARB = nullptr;
  PFNGLUNIFORM1FARBPROC Uniform1fARB = nullptr;
  PFNGLUNIFORM1IARBPROC Uniform1iARB = nullptr;
  PFNGLGETATTRIBLOCATIONARBPROC GetAttribLocationARB = nullptr;
  PFNGLVERTEXATTRIB1FARBPROC VertexAttrib1fARB = nullptr;
};

ShaderProcs g_sp;
ShaderSlot g_slots[kShaderSlots];
int g_current = -1;
bool g_no_support_said = false;

template <class F>
void lookup(F& fn, const char* name) {
  fn = reinterpret_cast<F>(platform_gl_proc_address(name));
  if (!fn) {
    char line[96];
    std::snprintf(line, sizeof line, "ext: %-35s   [FAILED]", name);
    log_append(line);
  }
}

// The shader commands' messages: the debug output, only with the program's
// debug setting on.
void message(const std::string& text) {
  if (g_program_settings.debug == 0) return;
  debug_print((text + "\n").c_str());
}

bool can_build() {
  return g_sp.CreateShaderObjectARB && g_sp.ShaderSourceARB && g_sp.CompileShaderARB &&
         g_sp.GetObjectParameterivARB && g_sp.CreateProgramObjectARB && g_sp.AttachObjectARB &&
         g_sp.LinkProgramARB;
}

void delete_object(GLhandleARB& object) {
  if (object != 0 && g_sp.DeleteObjectARB) g_sp.DeleteObjectARB(object);
  object = 0;
}

void clear_slot(ShaderSlot& s) {
  delete_object(s.program);
  delete_object(s.vertex);
  delete_object(s.fragment);
}

// Text a shader compiler can be given: no zero bytes and no control
// characters other than tab, line feed, vertical tab, form feed and return.
bool looks_like_text(const std::vector<char>& bytes) {
  for (char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 32 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') return false;
    if (c == 127) return false;
  }
  return true;
}

enum class ReadResult { ok, missing, refused };

// The whole file (disk or "mem://"), refused when it is empty, over 1 MiB
// or not text.
ReadResult read_source(const char* name, std::vector<char>& text) {
  VirtualFile f;
  if (!f.open_read(name)) return ReadResult::missing;
  if (f.size <= 0 || f.size > kMaxSourceBytes) {
    log_append((std::string("shader file refused (empty or over 1 MiB): ") + name + "\n").c_str());
    return ReadResult::refused;
  }
  text.resize(static_cast<size_t>(f.size));
  if (!f.read(text.data(), f.size)) return ReadResult::missing;
  if (!looks_like_text(text)) {
    log_append((std::string("shader file refused (not text): ") + name + "\n").c_str());
    return ReadResult::refused;
  }
  text.push_back('\0');
  return ReadResult::ok;
}

std::string info_log(GLhandleARB object) {
  GLint length = 0;
  g_sp.GetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
  if (length <= 0 || !g_sp.GetInfoLogARB) return {};
  std::vector<GLcharARB> log(static_cast<size_t>(length) + 1, 0);
  GLsizei written = 0;
  g_sp.GetInfoLogARB(object, length, &written, log.data());
  return std::string(log.data(), static_cast<size_t>(written > 0 ? written : 0));
}

// Compiles one stage into `object`. Returns 1 compiled, 0 failed.
int compile_stage(GLenum kind, const std::vector<char>& text, GLhandleARB& object, const char* failed) {
  object = g_sp.CreateShaderObjectARB(kind);
  const GLcharARB* source = text.data();
  g_sp.ShaderSourceARB(object, 1, &source, nullptr);
  g_sp.CompileShaderARB(object);
  GLint status = 0;
  g_sp.GetObjectParameterivARB(object, GL_OBJECT_COMPILE_STATUS_ARB, &status);
  if (status != 0) return 1;
  message(info_log(object));
  message(failed);
  return 0;
}

}  // namespace

void shaders_load_entry_points(const char* extensions) {
  g_sp = ShaderProcs{};
  if (!extensions || !std::strstr(extensions, "GL_ARB_fragment_program")) return;
  lookup(g_sp.CreateProgramObjectARB, "glCreateProgramObjectARB");
  lookup(g_sp.DeleteObjectARB, "glDeleteObjectARB");
  lookup(g_sp.CreateShaderObjectARB, "glCreateShaderObjectARB");
  lookup(g_sp.ShaderSourceARB, "glShaderSourceARB");
  lookup(g_sp.CompileShaderARB, "glCompileShaderARB");
  lookup(g_sp.GetObjectParameterivARB, "glGetObjectParameterivARB");
  lookup(g_sp.AttachObjectARB, "glAttachObjectARB");
  lookup(g_sp.GetInfoLogARB, "glGetInfoLogARB");
  lookup(g_sp.LinkProgramARB, "glLinkProgramARB");
  lookup(g_sp.UseProgramObjectARB, "glUseProgramObjectARB");
  lookup(g_sp.GetUniformLocationARB, "glGetUniformLocationARB");
  lookup(g_sp.Uniform1fARB, "glUniform1fARB");
  lookup(g_sp.Uniform1iARB, "glUniform1iARB");
  lookup(g_sp.GetAttribLocationARB, "glGetAttribLocationARB");
  lookup(g_sp.VertexAttrib1fARB, "glVertexAttrib1fARB");
}

void shaders_release() {
  if (g_current >= 0 && g_sp.UseProgramObjectARB) g_sp.UseProgramObjectARB(0);
  g_current = -1;
  for (ShaderSlot& s : g_slots) clear_slot(s);
}

int shaders_current_slot() { return g_current; }

int gfx_load_shader(int slot, const BasicString& vertex_file, const BasicString& fragment_file) {
  if (slot < 0 || slot >= kShaderSlots) return 0;
  if (!can_build()) {
    if (!g_no_support_said) {
      g_no_support_said = true;
      message("No OpenGL 2.0 Shader Support");
    }
    return 0;
  }
  // Read both stages before touching the slot: a refused file changes
  // nothing and costs no GL call.
  std::vector<char> vertex_text, fragment_text;
  bool have_vertex = false, have_fragment = false;
  for (int stage = 0; stage < 2; ++stage) {
    const BasicString& name = stage == 0 ? vertex_file : fragment_file;
    if (name.length() == 0) continue;
    std::vector<char>& text = stage == 0 ? vertex_text : fragment_text;
    switch (read_source(name.c_str(), text)) {
      case ReadResult::ok:
        (stage == 0 ? have_vertex : have_fragment) = true;
        break;
      case ReadResult::missing:
        break;  // that stage is skipped
      case ReadResult::refused:
        sys_raise_error(TMX_ERR_NO_SUCH_FILE);
        return 0;
    }
  }

  // The slot's old objects go first; drawing never keeps using them.
  if (slot == g_current) gfx_use_shader(-1);
  ShaderSlot& s = g_slots[slot];
  clear_slot(s);

  // Any stage that fails to compile fails the whole program (a program
  // linked around a broken stage is never put in a slot).
  bool failed = false;
  if (have_vertex && !compile_stage(GL_VERTEX_SHADER_ARB, vertex_text, s.vertex, "vertex shader failed"))
    failed = true;
  if (have_fragment &&
      !compile_stage(GL_FRAGMENT_SHADER_ARB, fragment_text, s.fragment, "fragment shader failed"))
    failed = true;
  int ok = (have_vertex || have_fragment) && !failed ? 1 : 0;
  if (ok == 1) {
    s.program = g_sp.CreateProgramObjectARB();
    if (s.vertex) g_sp.AttachObjectARB(s.program, s.vertex);
    if (s.fragment) g_sp.AttachObjectARB(s.program, s.fragment);
    g_sp.LinkProgramARB(s.program);
    GLint status = 0;
    g_sp.GetObjectParameterivARB(s.program, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (status == 0) {
      message(info_log(s.program));
      message("link shader failed");
      ok = 0;
    }
  }
  // A slot that did not build holds nothing: never half a program.
  if (ok != 1) clear_slot(s);
  return ok;
}

void gfx_use_shader(int slot) {
  if (!g_sp.UseProgramObjectARB) return;
  if (slot >= 0 && slot < kShaderSlots) {
    g_current = slot;
    g_sp.UseProgramObjectARB(g_slots[slot].program);
  } else {
    g_current = -1;
    g_sp.UseProgramObjectARB(0);
  }
}

namespace {
GLint uniform_location(const char* name) {
  if (!g_sp.GetUniformLocationARB || g_current < 0) return -2;
  const GLhandleARB program = g_slots[g_current].program;
  GLint location = program != 0 ? g_sp.GetUniformLocationARB(program, name) : -1;
  if (location == -1) message(std::string("undefined uniform:") + name);
  return location;
}
}  // namespace

void gfx_set_shader_float(const BasicString& name, double value) {
  GLint location = uniform_location(name.c_str());
  if (location >= 0 && g_sp.Uniform1fARB) g_sp.Uniform1fARB(location, static_cast<float>(value));
}

void shaders_set_int(const char* name, int value) {
  GLint location = uniform_location(name);
  if (location >= 0 && g_sp.Uniform1iARB) g_sp.Uniform1iARB(location, value);
}

void shaders_set_attrib_float(const char* name, double value) {
  if (!g_sp.GetAttribLocationARB || g_current < 0) return;
  const GLhandleARB program = g_slots[g_current].program;
  GLint location = program != 0 ? g_sp.GetAttribLocationARB(program, name) : -1;
  if (location == -1) {
    message(std::string("undefined attrib:") + name);
    return;
  }
  if (g_sp.VertexAttrib1fARB) g_sp.VertexAttrib1fARB(static_cast<GLuint>(location), static_cast<float>(value));
}
