// The OpenGL 1.1 entry points the editor uses, recorded instead of drawn.
#include "platform_fake/fakeplatform.h"

#include <cstring>

using VLM::Fake::Get;

namespace {
VLM::Fake::GLState& GL() {
    return Get().gl;
}

void Called(const char* name) {
    GL().calls.emplace_back(name);
    auto it = GL().failOn.find(name);
    if (it != GL().failOn.end()) {
        GL().pendingError = it->second;
    }
}
} // namespace

extern "C" {

void glBegin(GLenum) {
    Called("glBegin");
    GL().building = VLM::Fake::Quad();
    GL().building.texture = GL().bound;
    GL().corner = 0;
}

void glEnd() {
    Called("glEnd");
    GL().quads.push_back(GL().building);
}

void glTexCoord2f(GLfloat s, GLfloat t) {
    GL().u = s;
    GL().v = t;
}

void glVertex2d(GLdouble x, GLdouble y) {
    VLM::Fake::GLState& gl = GL();
    if (gl.corner < 4) {
        gl.building.u[gl.corner] = gl.u;
        gl.building.v[gl.corner] = gl.v;
        gl.building.x[gl.corner] = x;
        gl.building.y[gl.corner] = y;
    }
    ++gl.corner;
}

void glBindTexture(GLenum, GLuint texture) {
    Called("glBindTexture");
    GL().bound = texture;
}

void glGenTextures(GLsizei n, GLuint* textures) {
    Called("glGenTextures");
    for (GLsizei i = 0; i < n; ++i) {
        textures[i] = GL().nextTexture++;
        GL().liveTextures.insert(textures[i]);
    }
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    Called("glDeleteTextures");
    for (GLsizei i = 0; i < n; ++i) {
        GL().liveTextures.erase(textures[i]);
        GL().uploads.erase(textures[i]);
    }
}

void glTexParameteri(GLenum, GLenum name, GLint param) {
    Called("glTexParameteri");
    GL().texParameters[name] = param;
}

void glTexImage2D(GLenum, GLint, GLint internalFormat, GLsizei width, GLsizei height, GLint,
                  GLenum format, GLenum, const GLvoid* pixels) {
    Called("glTexImage2D");
    if (GL().pendingError != 0) {
        return;
    }
    VLM::Fake::Upload upload;
    upload.internalFormat = internalFormat;
    upload.width = width;
    upload.height = height;
    upload.format = format;
    if (GL().keepPixels && pixels != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(pixels);
        upload.pixels.assign(bytes, bytes + static_cast<std::size_t>(width) * height * 4);
    }
    GL().uploads[GL().bound] = std::move(upload);
}

GLenum glGetError() {
    const GLenum error = GL().pendingError;
    GL().pendingError = 0;
    return error;
}

void glGetIntegerv(GLenum name, GLint* data) {
    if (name == GL_MAX_TEXTURE_SIZE && Get().currentContext != nullptr) {
        *data = GL().maxTextureSize;
    }
}

const GLubyte* glGetString(GLenum name) {
    if (Get().currentContext == nullptr) {
        return nullptr;
    }
    const std::string* text = nullptr;
    switch (name) {
    case GL_VENDOR:
        text = &GL().vendor;
        break;
    case GL_RENDERER:
        text = &GL().renderer;
        break;
    case GL_VERSION:
        text = &GL().version;
        break;
    case GL_EXTENSIONS:
        text = &GL().extensions;
        break;
    default:
        return nullptr;
    }
    return reinterpret_cast<const GLubyte*>(text->c_str());
}

void glEnable(GLenum cap) {
    Called(cap == GL_BLEND        ? "glEnable(GL_BLEND)"
           : cap == GL_TEXTURE_2D ? "glEnable(GL_TEXTURE_2D)"
                                  : "glEnable");
}

void glDisable(GLenum cap) {
    Called(cap == GL_LIGHTING ? "glDisable(GL_LIGHTING)" : "glDisable");
}

void glBlendFunc(GLenum, GLenum) {
    Called("glBlendFunc");
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    Called("glViewport");
    GL().viewport = {x, y, width, height};
}

void glMatrixMode(GLenum mode) {
    Called(mode == GL_PROJECTION ? "glMatrixMode(GL_PROJECTION)" : "glMatrixMode(GL_MODELVIEW)");
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,
             GLdouble zFar) {
    Called("gluOrtho2D");
    GL().ortho = {left, right, bottom, top, zNear, zFar};
}

void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) {
    Called("glClearColor");
}

void glFlush() {
    Called("glFlush");
}

} // extern "C"
