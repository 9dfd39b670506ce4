// The least that opening an OpenGL editor of our size can cost on this display: a window, a
// context, the two large textures at the editor's sizes (the faceplate and the fader strip)
// uploaded from pixels decoded beforehand, one quad for the faceplate and ten for the faders, one
// buffer swap on screen. No images are decoded and nothing else is drawn, so the time from the
// first X call to the picture on screen is a floor under any editor's, and its growth from scale
// 1 to scale 2 is what the window system and the GL implementation alone add.
//
// Usage: gl_open_floor SCALE (1 or 2); prints "Open floor: MS ms" on standard output.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Milliseconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from)
        .count();
}

// Pixels as a decoder would have left them: written once, so that their pages are in memory.
std::vector<unsigned char> Pixels(int width, int height) {
    return std::vector<unsigned char>(static_cast<std::size_t>(width) * height * 4, 0x80);
}

void Upload(const std::vector<unsigned char>& pixels, int width, int height) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 pixels.data());
}

void Quad(float left, float top, float right, float bottom) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(left, top);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(right, top);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(right, bottom);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(left, bottom);
    glEnd();
}

} // namespace

int main(int argc, char** argv) {
    const int scale = argc == 2 ? std::atoi(argv[1]) : 0;
    if (scale != 1 && scale != 2) {
        std::fprintf(stderr, "usage: gl_open_floor SCALE (1 or 2)\n");
        return 2;
    }
    const int width = 900 * scale;
    const int height = 258 * scale;
    const std::vector<unsigned char> faceplate = Pixels(width, height);
    const std::vector<unsigned char> strip = Pixels(900 * scale, 940 * scale);

    const auto start = std::chrono::steady_clock::now();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "gl_open_floor: no X display\n");
        return 1;
    }
    int attributes[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    const int screen = DefaultScreen(display);
    XVisualInfo* visual = glXChooseVisual(display, screen, attributes);
    if (visual == nullptr) {
        std::fprintf(stderr, "gl_open_floor: no GLX visual\n");
        return 1;
    }
    XSetWindowAttributes windowAttributes{};
    windowAttributes.colormap =
        XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, visual->depth, InputOutput, visual->visual,
                      CWColormap, &windowAttributes);
    const GLXContext context = glXCreateContext(display, visual, nullptr, True);
    if (context == nullptr || !glXMakeCurrent(display, window, context)) {
        std::fprintf(stderr, "gl_open_floor: no GL context\n");
        return 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glOrtho(0.0, 900.0, 258.0, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    Upload(faceplate, width, height);
    Quad(0.0f, 0.0f, 900.0f, 258.0f);
    Upload(strip, 900 * scale, 940 * scale);
    for (int band = 0; band < 10; ++band) {
        const auto left = static_cast<float>(141 + 64 * band);
        Quad(left, 33.0f, left + 50.0f, 268.0f);
    }
    XMapWindow(display, window);
    glXSwapBuffers(display, window);
    glFinish();
    XSync(display, False);
    std::printf("Open floor: %.1f ms\n", Milliseconds(start));

    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XFree(visual);
    XCloseDisplay(display);
    return 0;
}
