// Where Direct3D's pixel centres fall on OpenGL's pixels, and which pixels a triangle whose edge
// passes exactly through a centre takes.
//
// Direct3D puts pixel centres at integer screen coordinates and gives a centre lying on an edge
// to the triangle for which that edge is a top or a left edge. OpenGL puts centres at
// half-integers and leaves the tie to the driver, whose rule may follow either vertical
// direction of the window. The device moves every vertex half a pixel right and down and tries
// both directions on a fan of triangles whose edges run through many centres at many slopes;
// the first one under which the driver fills exactly like Direct3D is kept, and the picture is
// drawn upside down in the off-screen buffer when that direction needs it. A driver that matches
// in neither gets the sample point moved a fraction of a pixel off the centre instead, which
// breaks the ties the Direct3D way for all but shallow edges, with attributes taken back to the
// centre in the fragment shader.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

constexpr int kProbeSize = 16;

// Whether Direct3D's top-left rule gives the centre of pixel (px, py) to the triangle `t`
// (screen pixels, y down, whole numbers).
bool TopLeftCovers(std::array<std::array<int, 2>, 3> t, int px, int py) {
    auto cross = [](int ax, int ay, int bx, int by) { return int64_t(ax) * by - int64_t(ay) * bx; };
    const int64_t area =
        cross(t[1][0] - t[0][0], t[1][1] - t[0][1], t[2][0] - t[0][0], t[2][1] - t[0][1]);
    if (area == 0) return false;
    if (area < 0) std::swap(t[1], t[2]);  // clockwise on screen: the inside is right of each edge
    for (int i = 0; i < 3; ++i) {
        const auto& a = t[size_t(i)];
        const auto& b = t[size_t((i + 1) % 3)];
        const int dx = b[0] - a[0], dy = b[1] - a[1];
        const int64_t e = cross(dx, dy, px - a[0], py - a[1]);
        if (e < 0) return false;
        const bool top = dy == 0 && dx > 0, left = dy < 0;
        if (e == 0 && !top && !left) return false;
    }
    return true;
}

// The probe's triangles: a fan about the middle of a 16 x 16 target, in either winding.
std::vector<std::array<std::array<int, 2>, 3>> Fan(bool reversed) {
    const int rim[16][2] = {{0, 0},  {4, 0},   {8, 0},   {12, 0},  {16, 0}, {16, 4},
                            {16, 8}, {16, 12}, {16, 16}, {12, 16}, {8, 16}, {4, 16},
                            {0, 16}, {0, 12},  {0, 8},   {0, 4}};
    std::vector<std::array<std::array<int, 2>, 3>> fan;
    for (int i = 0; i < 16; ++i) {
        std::array<int, 2> a{rim[i][0], rim[i][1]}, b{rim[(i + 1) % 16][0], rim[(i + 1) % 16][1]};
        if (reversed) std::swap(a, b);
        fan.push_back({{{8, 8}, a, b}});
    }
    return fan;
}

// Draws `fan` under `flipY` with the exact half-pixel move and tells whether every pixel went to
// the triangle Direct3D gives it. The target and program are bound by the caller.
bool FillsLikeDirect3D(const std::vector<std::array<std::array<int, 2>, 3>>& fan, bool flipY,
                       GLint shiftLocation, GLint flipLocation) {
    std::vector<GLVertex> vertices;
    for (size_t i = 0; i < fan.size(); ++i)
        for (const auto& p : fan[i]) {
            GLVertex v{};
            v.x = float(p[0]) / kProbeSize * 2.0f - 1.0f;
            v.y = 1.0f - float(p[1]) / kProbeSize * 2.0f;
            v.w = 1.0f;
            v.color = 0xFF000000u | uint32_t((i + 1) * 15) << 16;  // the triangle's number in red
            vertices.push_back(v);
        }
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(GLVertex)), vertices.data(),
                 GL_STREAM_DRAW);
    glUniform2f(shiftLocation, 1.0f / kProbeSize, -1.0f / kProbeSize);
    glUniform1f(flipLocation, flipY ? -1.0f : 1.0f);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices.size()));
    std::array<uint32_t, kProbeSize * kProbeSize> rows{};
    glReadPixels(0, 0, kProbeSize, kProbeSize, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < kProbeSize; ++y)
        for (int x = 0; x < kProbeSize; ++x) {
            const int row = flipY ? y : kProbeSize - 1 - y;
            const uint32_t got = (rows[size_t(row * kProbeSize + x)] >> 16) & 0xFF;
            uint32_t expected = 0;
            for (size_t i = 0; i < fan.size(); ++i)
                if (TopLeftCovers(fan[i], x, y)) expected = uint32_t((i + 1) * 15);
            if (got != expected) return false;
        }
    return true;
}

}  // namespace

PixelConvention ProbePixelConvention(GLuint vertexShader, bool probe) {
    PixelConvention fallback;
    fallback.nudgeX = 1.0f / 128.0f;
    fallback.nudgeY = 1.0f / 256.0f;
    if (!probe) return fallback;
    const GLuint fragmentShader = CompileShader(GL_FRAGMENT_SHADER,
                                                "#version 330 core\n"
                                                "in vec4 vColor;\n"
                                                "out vec4 fragColor;\n"
                                                "void main() { fragColor = vColor; }\n");
    if (!fragmentShader) return fallback;
    const GLuint program = LinkProgram(vertexShader, fragmentShader);
    glDeleteShader(fragmentShader);
    if (!program) return fallback;
    GLuint vao = 0, vbo = 0, fbo = 0, target = 0;
    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &target);
    glBindRenderbuffer(GL_RENDERBUFFER, target);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kProbeSize, kProbeSize);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target);
    glViewport(0, 0, kProbeSize, kProbeSize);
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    BindVertexLayout();
    glUseProgram(program);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    const GLint shift = glGetUniformLocation(program, "uPixelShift");
    const GLint flip = glGetUniformLocation(program, "uFlipY");

    PixelConvention found = fallback;
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        for (bool flipY : {false, true}) {
            if (FillsLikeDirect3D(Fan(false), flipY, shift, flip) &&
                FillsLikeDirect3D(Fan(true), flipY, shift, flip)) {
                found = PixelConvention{};
                found.flipY = flipY;
                break;
            }
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &target);
    glDeleteFramebuffers(1, &fbo);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteProgram(program);
    return found;
}

}  // namespace hv
