// What the OpenGL driver does where Direct3D's rules depend on it, asked once when a device is
// made by drawing small scenes into a 16 x 16 target and reading them back.
//
// Pixel centres. Direct3D puts pixel centres at integer screen coordinates and gives a centre
// lying on an edge to the triangle for which that edge is a top or a left edge. OpenGL puts
// centres at half-integers and leaves the tie to the driver, whose rule may follow either
// vertical direction of the window. The device moves every vertex half a pixel right and down
// and tries both directions on a fan of triangles whose edges run through many centres at many
// slopes; the first one under which the driver fills exactly like Direct3D is kept, and the
// picture is drawn upside down in the off-screen buffer when that direction needs it. A driver
// that matches in neither gets the sample point moved a fraction of a pixel off the centre
// instead, which breaks the ties the Direct3D way for all but shallow edges, with attributes
// taken back to the centre in the fragment shader.
//
// The window. Drawing straight into the window's back buffer saves copying an off-screen one
// into it, but there the picture must be upright. The same fan is drawn into a corner of the
// window's back buffer, with no nudge, upright; failing that, turned by the vertex shader and
// turned back by putting the window's origin at its top (glClipControl), which makes some
// drivers (Mesa's software renderer) break ties the other way. The window is drawn into
// directly only under a way that fills exactly like Direct3D.
//
// Anisotropic filtering. Direct3D's anisotropic filter compensates for distortion; a texture
// mapped texel for texel has none and comes out as the texels themselves. Some drivers' filters
// (Mesa's software renderer among them) blur even then; the device uses the driver's filter only
// when a checkerboard drawn texel for texel comes back unchanged.
//
// Remembering. Drawing the probes is a noticeable part of start-up (their shaders are compiled
// for them alone), and what they find changes only with the driver. The findings are kept in
// "$XDG_CACHE_HOME/halvardine/opengl-driver" (~/.cache when XDG_CACHE_HOME is not set) under
// the driver's vendor, renderer, version and shading language version and its largest
// anisotropy; a run on a driver of the same description reads them instead of probing, any
// other probes and keeps its own findings. HV_D3D_PROBE_CACHE=0 probes every time and keeps
// nothing.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/GLDeviceImpl.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/system.h"

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
// the triangle Direct3D gives it; the rows are stored upside down when `upsideDown` (by default
// as `flipY` turns them). The target and program are bound by the caller.
bool FillsLikeDirect3D(const std::vector<std::array<std::array<int, 2>, 3>>& fan, bool flipY,
                       GLint shiftLocation, GLint flipLocation,
                       std::optional<bool> upsideDown = {}) {
    std::vector<GLVertex> vertices;
    for (size_t i = 0; i < fan.size(); ++i)
        for (const auto& p : fan[i]) {
            GLVertex v{};
            v.x = float(p[0]) / kProbeSize * 2.0f - 1.0f;
            v.y = 1.0f - float(p[1]) / kProbeSize * 2.0f;
            v.w = 1.0f;
            v.diffuse = 0xFF000000u | uint32_t((i + 1) * 15) << 16;  // the triangle's number in red
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
            const int row = upsideDown.value_or(flipY) ? y : kProbeSize - 1 - y;
            const uint32_t got = (rows[size_t(row * kProbeSize + x)] >> 16) & 0xFF;
            uint32_t expected = 0;
            for (size_t i = 0; i < fan.size(); ++i)
                if (TopLeftCovers(fan[i], x, y)) expected = uint32_t((i + 1) * 15);
            if (got != expected) return false;
        }
    return true;
}

}  // namespace

// A 16 x 16 target with a program of the device's vertex shader and `fragmentSource`, bound
// for drawing GLVertex records; everything goes when it does.
class ProbeTarget {
public:
    // With `window`, the target is the bottom-left 16 x 16 of the window's back buffer.
    ProbeTarget(GLuint vertexShader, const char* fragmentSource, bool window = false) {
        if (GLuint fs = CompileShader(GL_FRAGMENT_SHADER, fragmentSource)) {
            program_ = LinkProgram(vertexShader, fs);
            glDeleteShader(fs);
        }
        glGenVertexArrays(1, &vao_);
        glGenBuffers(1, &vbo_);
        if (window) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        } else {
            glGenFramebuffers(1, &fbo_);
            glGenRenderbuffers(1, &target_);
            glBindRenderbuffer(GL_RENDERBUFFER, target_);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kProbeSize, kProbeSize);
            glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                      target_);
        }
        glViewport(0, 0, kProbeSize, kProbeSize);
        glBindVertexArray(vao_);
        glBindBuffer(GL_ARRAY_BUFFER, vbo_);
        BindVertexLayout();
        glUseProgram(program_);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    ~ProbeTarget() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (target_) glDeleteRenderbuffers(1, &target_);
        if (fbo_) glDeleteFramebuffers(1, &fbo_);
        glDeleteBuffers(1, &vbo_);
        glDeleteVertexArrays(1, &vao_);
        if (program_) glDeleteProgram(program_);
    }
    bool Ready() const {
        return program_ && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    GLint Uniform(const char* name) const { return glGetUniformLocation(program_, name); }

private:
    GLuint program_ = 0, vao_ = 0, vbo_ = 0, fbo_ = 0, target_ = 0;
};

PixelConvention OffsetSamplesConvention() {
    PixelConvention c;
    c.nudgeX = 1.0f / 128.0f;
    c.nudgeY = 1.0f / 256.0f;
    return c;
}

bool ProbePixelConvention(GLuint vertexShader, PixelConvention& found) {
    ProbeTarget target(vertexShader,
                       "#version 330 core\n"
                       "in vec4 vDiffuse;\n"
                       "out vec4 fragColor;\n"
                       "void main() { fragColor = vDiffuse; }\n");
    if (!target.Ready()) return false;
    const GLint shift = target.Uniform("uPixelShift");
    const GLint flip = target.Uniform("uFlipY");
    for (bool flipY : {false, true}) {
        if (FillsLikeDirect3D(Fan(false), flipY, shift, flip) &&
            FillsLikeDirect3D(Fan(true), flipY, shift, flip)) {
            found = PixelConvention{};
            found.flipY = flipY;
            return true;
        }
    }
    found = OffsetSamplesConvention();
    return true;
}

std::optional<WindowFill> ProbeWindowFill(GLuint vertexShader, int drawableWidth,
                                          int drawableHeight) {
    if (drawableWidth < kProbeSize || drawableHeight < kProbeSize) return std::nullopt;
    WindowFill fill = WindowFill::Neither;
    {
        ProbeTarget target(vertexShader,
                           "#version 330 core\n"
                           "in vec4 vDiffuse;\n"
                           "out vec4 fragColor;\n"
                           "void main() { fragColor = vDiffuse; }\n",
                           true);
        if (!target.Ready()) return std::nullopt;
        const GLint shift = target.Uniform("uPixelShift");
        const GLint flip = target.Uniform("uFlipY");
        auto exact = [&](bool flipY, bool upsideDown) {
            return FillsLikeDirect3D(Fan(false), flipY, shift, flip, upsideDown) &&
                   FillsLikeDirect3D(Fan(true), flipY, shift, flip, upsideDown);
        };
        if (exact(false, false)) {
            fill = WindowFill::Upright;
        } else if (HasClipControl()) {
            // The picture turned by the vertex shader and turned back by the window's origin.
            glClipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
            if (exact(true, false)) fill = WindowFill::TurnedTwice;
            glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
        }
    }
    // What the probe drew is not left for the first frame to show.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    return fill;
}

bool HasClipControl() {
    return epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
}

bool AnisotropyKeepsTexels(GLuint vertexShader, const PixelConvention& pixels,
                           float maxAnisotropy) {
    if (maxAnisotropy <= 1.0f) return false;
    ProbeTarget target(vertexShader,
                       "#version 330 core\n"
                       "in vec2 vUV;\n"
                       "uniform sampler2D uTexture;\n"
                       "out vec4 fragColor;\n"
                       "void main() { fragColor = texture(uTexture, vUV); }\n");
    if (!target.Ready()) return false;
    // A checkerboard over the whole target, corners half a pixel out, coordinates 0 to 1.
    std::array<uint32_t, kProbeSize * kProbeSize> board{};
    for (int y = 0; y < kProbeSize; ++y)
        for (int x = 0; x < kProbeSize; ++x)
            board[size_t(y * kProbeSize + x)] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    GLuint texture = 0, sampler = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kProbeSize, kProbeSize, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 board.data());
    glGenSamplers(1, &sampler);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
    glBindSampler(0, sampler);
    glUniform1i(target.Uniform("uTexture"), 0);
    glUniform2f(target.Uniform("uPixelShift"), (1.0f - 2.0f * pixels.nudgeX) / kProbeSize,
                -(1.0f - 2.0f * pixels.nudgeY) / kProbeSize);
    glUniform1f(target.Uniform("uFlipY"), pixels.flipY ? -1.0f : 1.0f);
    const float e = 1.0f + 1.0f / kProbeSize;  // half a pixel beyond the edges, in clip space
    std::array<GLVertex, 6> quad{};
    const float corners[6][4] = {{-e, e, 0, 0}, {e, e, 1, 0},  {-e, -e, 0, 1},
                                 {e, e, 1, 0},  {e, -e, 1, 1}, {-e, -e, 0, 1}};
    for (size_t i = 0; i < 6; ++i) {
        quad[i].x = corners[i][0];
        quad[i].y = corners[i][1];
        quad[i].w = 1.0f;
        quad[i].u = corners[i][2];
        quad[i].v = corners[i][3];
    }
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof quad), quad.data(), GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    std::array<uint32_t, kProbeSize * kProbeSize> rows{};
    glReadPixels(0, 0, kProbeSize, kProbeSize, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    glBindSampler(0, 0);
    glDeleteSamplers(1, &sampler);
    glDeleteTextures(1, &texture);
    // Each pixel must be its texel.
    for (int row = 0; row < kProbeSize; ++row) {
        const int y = pixels.flipY ? row : kProbeSize - 1 - row;
        for (int x = 0; x < kProbeSize; ++x)
            if (rows[size_t(row * kProbeSize + x)] != board[size_t(y * kProbeSize + x)])
                return false;
    }
    return true;
}

namespace {

// The file the findings are kept in; empty when there is no home to keep it in.
std::string FactsFile() {
    if (auto cache = GetEnv("XDG_CACHE_HOME"); cache && !cache->empty())
        return *cache + "/halvardine/opengl-driver";
    if (auto home = GetEnv("HOME"); home && !home->empty())
        return *home + "/.cache/halvardine/opengl-driver";
    return std::string();
}

// One line naming the driver of the current context as far as its findings depend on it.
std::string DriverDescription(float maxAnisotropy) {
    auto text = [](GLenum name) {
        const auto* s = reinterpret_cast<const char*>(glGetString(name));
        std::string t = s ? s : "";
        for (char& c : t)
            if (c == '\n' || c == '\r') c = ' ';
        return t;
    };
    char anisotropy[32];
    std::snprintf(anisotropy, sizeof anisotropy, "%g", double(maxAnisotropy));
    return text(GL_VENDOR) + " | " + text(GL_RENDERER) + " | " + text(GL_VERSION) + " | " +
           text(GL_SHADING_LANGUAGE_VERSION) + " | " + anisotropy;
}

// The file's findings when its first line is `description`; nothing for another driver, a
// missing file or one that does not read as written.
std::optional<DriverFacts> ReadFacts(const std::string& file, const std::string& description) {
    try {
        if (!FileExists(file)) return std::nullopt;
        const std::vector<std::string> lines = ReadFileLines(file);
        if (lines.size() != 2 || lines[0] != description) return std::nullopt;
        std::istringstream in(lines[1]);
        int flipY = 0, anisotropy = 0, window = 0;
        DriverFacts f;
        if (!(in >> flipY >> f.pixels.nudgeX >> f.pixels.nudgeY >> anisotropy >> window) ||
            (flipY != 0 && flipY != 1) || (anisotropy != 0 && anisotropy != 1) || window < 0 ||
            window > int(WindowFill::TurnedTwice))
            return std::nullopt;
        in >> std::ws;
        if (!in.eof()) return std::nullopt;
        f.pixels.flipY = flipY == 1;
        f.anisotropyKeepsTexels = anisotropy == 1;
        f.windowFill = WindowFill(window);
        return f;
    } catch (const Exception&) {
        return std::nullopt;
    }
}

void WriteFacts(const std::string& file, const std::string& description, const DriverFacts& f) {
    char values[96];
    std::snprintf(values, sizeof values, "%d %.9g %.9g %d %d\n", f.pixels.flipY ? 1 : 0,
                  double(f.pixels.nudgeX), double(f.pixels.nudgeY), f.anisotropyKeepsTexels ? 1 : 0,
                  int(f.windowFill));
    try {
        ForceDirectories(file.substr(0, file.rfind('/')));
        WriteFileAtomic(file, description + "\n" + values);
    } catch (const Exception&) {
        // Not kept: the next run probes again.
    }
}

}  // namespace

DriverFacts FindDriverFacts(GLuint vertexShader, bool probe, float maxAnisotropy, int drawableWidth,
                            int drawableHeight) {
    DriverFacts facts;
    if (!probe) {
        facts.pixels = OffsetSamplesConvention();
        facts.anisotropyKeepsTexels =
            AnisotropyKeepsTexels(vertexShader, facts.pixels, maxAnisotropy);
        return facts;
    }
    const auto setting = GetEnv("HV_D3D_PROBE_CACHE");
    const std::string file = setting && *setting == "0" ? std::string() : FactsFile();
    const std::string description = DriverDescription(maxAnisotropy);
    if (!file.empty())
        if (auto known = ReadFacts(file, description)) return *known;
    const bool drawn = ProbePixelConvention(vertexShader, facts.pixels);
    if (!drawn) facts.pixels = OffsetSamplesConvention();
    facts.anisotropyKeepsTexels = AnisotropyKeepsTexels(vertexShader, facts.pixels, maxAnisotropy);
    const std::optional<WindowFill> window =
        ProbeWindowFill(vertexShader, drawableWidth, drawableHeight);
    facts.windowFill = window.value_or(WindowFill::Neither);
    // A probe that could not be drawn says nothing about the driver, and is not kept.
    if (drawn && window && !file.empty()) WriteFacts(file, description, facts);
    return facts;
}

}  // namespace hv
