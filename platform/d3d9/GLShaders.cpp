// The OpenGL device's shaders: the vertex shader every draw shares and the fragment shader that
// evaluates texture stage 0 for one set-up of the stage.
#include <cstdio>
#include <string>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

// Positions arrive in Direct3D's clip space, already transformed.
const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec2 aUV;
uniform vec2 uPixelShift;  // clip-space move from Direct3D's pixel centres to OpenGL's
uniform float uFlipY;      // -1: the picture is kept upside down in the off-screen buffer
out vec4 vColor;
out vec2 vUV;
void main() {
    // Direct3D depth runs from 0 to w, OpenGL's from -w to w.
    gl_Position = vec4(aPosition.x + uPixelShift.x * aPosition.w,
                       uFlipY * (aPosition.y + uPixelShift.y * aPosition.w),
                       2.0 * aPosition.z - aPosition.w, aPosition.w);
    vColor = aColor;
    vUV = aUV;
}
)";

// Texture stage 0 of the fixed-function pipeline. Argument codes and operations are
// Direct3D's D3DTA_* and D3DTOP_* values. The stage's set-up comes in as constants, one program
// per set-up, so that the compiler drops every branch the set-up does not take (a software
// renderer otherwise pays for all of them on every pixel). kNudge: how far right and down of
// Direct3D's pixel centre OpenGL samples (x, y in pixels) and the vertical direction of the
// off-screen buffer; attributes are taken back to the centre along their slopes.
const char* const kFragmentShader = R"(
in vec4 vColor;
in vec2 vUV;
uniform sampler2D uTexture;
uniform vec4 uFactor;
uniform int uAlphaRef;      // 0..255
out vec4 fragColor;

vec4 color;
vec2 uv;

vec4 Arg(int code, vec4 texel) {
    int source = code & 15;
    vec4 v = vec4(0.0);
    if (source == 0 || source == 1) v = color;
    else if (source == 2) v = texel;
    else if (source == 3) v = uFactor;
    if ((code & 16) != 0) v = vec4(1.0) - v;
    if ((code & 32) != 0) v = vec4(v.a);
    return v;
}

vec4 Op(int op, vec4 a, vec4 b) {
    vec4 r;
    if (op == 2) r = a;
    else if (op == 3) r = b;
    else if (op == 4) r = a * b;
    else if (op == 5) r = 2.0 * a * b;
    else if (op == 6) r = 4.0 * a * b;
    else if (op == 7) r = a + b;
    else if (op == 8) r = a + b - 0.5;
    else if (op == 9) r = 2.0 * (a + b - 0.5);
    else if (op == 10) r = a - b;
    else if (op == 11) r = a + b - a * b;
    else r = color;
    return clamp(r, 0.0, 1.0);
}

bool Passes(int func, int value, int reference) {
    if (func == 1) return false;
    if (func == 2) return value < reference;
    if (func == 3) return value == reference;
    if (func == 4) return value <= reference;
    if (func == 5) return value > reference;
    if (func == 6) return value != reference;
    if (func == 7) return value >= reference;
    return true;
}

void main() {
    color = vColor;
    uv = vUV;
    if (kNudge.x != 0.0 || kNudge.y != 0.0) {
        color -= kNudge.x * dFdx(vColor) - kNudge.z * kNudge.y * dFdy(vColor);
        uv -= kNudge.x * dFdx(vUV) - kNudge.z * kNudge.y * dFdy(vUV);
    }
    vec4 texel = kHasTexture ? texture(uTexture, uv) : vec4(1.0);
    vec3 rgb = Op(kColorStage.x, Arg(kColorStage.y, texel), Arg(kColorStage.z, texel)).rgb;
    float a = Op(kAlphaStage.x, Arg(kAlphaStage.y, texel), Arg(kAlphaStage.z, texel)).a;
    if (!Passes(kAlphaFunc, int(a * 255.0 + 0.5), uAlphaRef)) discard;
    fragColor = vec4(rgb, a);
}
)";

}  // namespace

GLuint CompileShader(GLenum type, const char* source) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "OpenGL device: shader does not compile: %s\n", log);
        glDeleteShader(s);
        return 0;
    }
    return s;
}

GLuint CompileVertexShader() {
    return CompileShader(GL_VERTEX_SHADER, kVertexShader);
}

GLuint LinkProgram(GLuint vertexShader, GLuint fragmentShader) {
    GLuint p = glCreateProgram();
    glAttachShader(p, vertexShader);
    glAttachShader(p, fragmentShader);
    glLinkProgram(p);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

GLuint CompileStageShader(const std::array<uint32_t, 8>& stage, const PixelConvention& pixels) {
    char constants[512];
    std::snprintf(constants, sizeof constants,
                  "#version 330 core\n"
                  "const bool kHasTexture = %s;\n"
                  "const ivec3 kColorStage = ivec3(%u, %u, %u);\n"
                  "const ivec3 kAlphaStage = ivec3(%u, %u, %u);\n"
                  "const int kAlphaFunc = %u;\n"
                  "const vec3 kNudge = vec3(%.9g, %.9g, %.1f);\n",
                  stage[0] ? "true" : "false", stage[1], stage[2], stage[3], stage[4], stage[5],
                  stage[6], stage[7], double(pixels.nudgeX), double(pixels.nudgeY),
                  pixels.flipY ? -1.0 : 1.0);
    const std::string source = std::string(constants) + kFragmentShader;
    return CompileShader(GL_FRAGMENT_SHADER, source.c_str());
}

void BindVertexLayout() {
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(GLVertex),
                          reinterpret_cast<void*>(offsetof(GLVertex, x)));
    // GL_BGRA size reads the D3DCOLOR bytes (blue, green, red, alpha) as red, green, blue, alpha.
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(GLVertex),
                          reinterpret_cast<void*>(offsetof(GLVertex, color)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(GLVertex),
                          reinterpret_cast<void*>(offsetof(GLVertex, u)));
}

}  // namespace hv
