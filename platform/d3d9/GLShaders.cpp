// The OpenGL device's shaders: the vertex shader every draw shares and the fragment shader that
// evaluates texture stage 0 for one set-up of the stage.
#include <cstdio>
#include <string>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

// Positions arrive in Direct3D's clip space, already transformed; colours as D3DCOLOR bytes.
// Colours go out twice, interpolated and flat (taken from the first vertex of each primitive);
// each fragment shader reads the pair its shade mode needs.
const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
layout(location = 3) in vec2 aUV;
layout(location = 4) in uint aUnit;
uniform vec2 uPixelShift;  // clip-space move from Direct3D's pixel centres to OpenGL's
uniform float uFlipY;      // -1: the picture is kept upside down in the off-screen buffer
out vec4 vDiffuse;
out vec4 vSpecular;
flat out vec4 vFlatDiffuse;
flat out vec4 vFlatSpecular;
out vec2 vUV;
flat out uint vUnit;
void main() {
    // Direct3D depth runs from 0 to w, OpenGL's from -w to w.
    gl_Position = vec4(aPosition.x + uPixelShift.x * aPosition.w,
                       uFlipY * (aPosition.y + uPixelShift.y * aPosition.w),
                       2.0 * aPosition.z - aPosition.w, aPosition.w);
    vDiffuse = aDiffuse;
    vSpecular = aSpecular;
    vFlatDiffuse = aDiffuse;
    vFlatSpecular = aSpecular;
    vUV = aUV;
    vUnit = aUnit;
}
)";

// Texture stage 0 of the fixed-function pipeline, evaluated as Direct3D's texture operations
// define it. Argument codes and operations are Direct3D's D3DTA_* and D3DTOP_* values. The
// stage's set-up comes in as constants, one program per set-up, so that the compiler drops every
// branch the set-up does not take (a software renderer otherwise pays for all of them on every
// pixel):
//   kColor, kAlpha: operation and arguments 0, 1 and 2 of the colour and the alpha operation;
//   kHasTexture, Sample (the texel at a coordinate, from the unit the primitive names),
//   kAlphaFunc (8: no alpha test), kFlat (flat shading), kSprite (point sprite:
//   texture coordinates run across the point);
//   kNudge: how far right and down of Direct3D's pixel centre OpenGL samples (x, y in pixels)
//   and the vertical direction of the off-screen buffer; attributes are taken back to the
//   centre along their slopes.
// At stage 0 the current colour is the diffuse colour and the temporary register is zero.
const char* const kFragmentShader = R"(
in vec4 vDiffuse;
in vec4 vSpecular;
flat in vec4 vFlatDiffuse;
flat in vec4 vFlatSpecular;
in vec2 vUV;
uniform vec4 uFactor;
uniform vec4 uConstant;
uniform int uAlphaRef;      // 0..255
out vec4 fragColor;

vec4 diffuse, specular, texel;

vec4 Arg(int code) {
    int source = code & 15;
    vec4 v;
    if (source <= 1) v = diffuse;
    else if (source == 2) v = texel;
    else if (source == 3) v = uFactor;
    else if (source == 4) v = specular;
    else if (source == 5) v = vec4(0.0);
    else v = uConstant;
    if ((code & 32) != 0) v = vec4(v.a);
    if ((code & 16) != 0) v = vec4(1.0) - v;
    return v;
}

vec4 Blend(vec4 a, vec4 b, float alpha) {
    return a * alpha + b * (1.0 - alpha);
}

vec4 Op(ivec4 stage) {
    vec4 a0 = Arg(stage.y), a1 = Arg(stage.z), a2 = Arg(stage.w);
    vec4 r;
    switch (stage.x) {
        case 2: r = a1; break;
        case 3: r = a2; break;
        case 4: r = a1 * a2; break;
        case 5: r = 2.0 * a1 * a2; break;
        case 6: r = 4.0 * a1 * a2; break;
        case 7: r = a1 + a2; break;
        case 8: r = a1 + a2 - 0.5; break;
        case 9: r = 2.0 * (a1 + a2 - 0.5); break;
        case 10: r = a1 - a2; break;
        case 11: r = a1 + a2 - a1 * a2; break;
        case 12: r = Blend(a1, a2, diffuse.a); break;
        case 13: r = Blend(a1, a2, texel.a); break;
        case 14: r = Blend(a1, a2, uFactor.a); break;
        case 15: r = a1 + a2 * (1.0 - texel.a); break;
        case 16: r = Blend(a1, a2, diffuse.a); break;
        case 17: r = a1; break;
        case 18: r = vec4(a1.rgb + a1.a * a2.rgb, 1.0); break;
        case 19: r = vec4(a1.rgb * a2.rgb + a1.a, 1.0); break;
        case 20: r = vec4(a1.rgb + (1.0 - a1.a) * a2.rgb, 1.0); break;
        case 21: r = vec4((1.0 - a1.rgb) * a2.rgb + a1.a, 1.0); break;
        case 24: r = vec4(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5)); break;
        case 25: r = a0 + a1 * a2; break;
        case 26: r = a0 * a1 + (1.0 - a0) * a2; break;
        default: r = diffuse; break;
    }
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
    vec2 uv = kSprite ? gl_PointCoord : vUV;
    if (kFlat) {
        diffuse = vFlatDiffuse;
        specular = vec4(vFlatSpecular.rgb, vSpecular.a);
    } else {
        diffuse = vDiffuse;
        specular = vSpecular;
    }
    if (kNudge.x != 0.0 || kNudge.y != 0.0) {
        // Back from the sample point to the centre; down is -y in an upright buffer.
        float down = kNudge.z * kNudge.y;
        vec4 ds = kNudge.x * dFdx(vSpecular) - down * dFdy(vSpecular);
        if (kFlat) {
            specular.a -= ds.a;
        } else {
            diffuse -= kNudge.x * dFdx(vDiffuse) - down * dFdy(vDiffuse);
            specular -= ds;
        }
        if (!kSprite) uv -= kNudge.x * dFdx(vUV) - down * dFdy(vUV);
    }
    texel = kHasTexture ? Sample(uv) : vec4(1.0);
    vec4 color = Op(kColor);
    // The dot product writes all four channels, alpha included.
    float alpha = kColor.x == 24 ? color.a : Op(kAlpha).a;
    if (!Passes(kAlphaFunc, int(alpha * 255.0 + 0.5), uAlphaRef)) discard;
    fragColor = vec4(color.rgb, alpha);
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

namespace {

// The samplers of `units` texture units and Sample, which reads the one the primitive names.
// The unit is the same over a primitive, so the texture's derivatives are taken as with one
// unit. `indexed`: the unit indexes the samplers directly; otherwise each sample sits behind a
// comparison with a constant, as OpenGL 3.3 indexes samplers with constants only.
std::string SampleFunction(uint32_t units, bool indexed) {
    if (units == 0) return "vec4 Sample(vec2 uv) { return vec4(1.0); }\n";
    const std::string last = std::to_string(units - 1);
    std::string out = "uniform sampler2D uTexture[" + std::to_string(units) + "];\n";
    if (units == 1) return out + "vec4 Sample(vec2 uv) { return texture(uTexture[0], uv); }\n";
    out += "flat in uint vUnit;\nvec4 Sample(vec2 uv) {\n";
    if (indexed) return out + "    return texture(uTexture[min(vUnit, " + last + "u)], uv);\n}\n";
    for (uint32_t i = 0; i + 1 < units; ++i) {
        const std::string n = std::to_string(i);
        out += "    if (vUnit == " + n + "u) return texture(uTexture[" + n + "], uv);\n";
    }
    return out + "    return texture(uTexture[" + last + "], uv);\n}\n";
}

}  // namespace

GLuint CompileStageShader(const StageProgram& stage, const PixelConvention& pixels, bool indexed) {
    indexed = indexed && stage[0] > 1;
    char constants[640];
    std::snprintf(constants, sizeof constants,
                  "#version 330 core\n%s"
                  "const bool kHasTexture = %s;\n"
                  "const ivec4 kColor = ivec4(%u, %u, %u, %u);\n"
                  "const ivec4 kAlpha = ivec4(%u, %u, %u, %u);\n"
                  "const int kAlphaFunc = %u;\n"
                  "const bool kFlat = %s;\n"
                  "const bool kSprite = %s;\n"
                  "const vec3 kNudge = vec3(%.9g, %.9g, %.1f);\n",
                  indexed ? "#extension GL_ARB_gpu_shader5 : require\n" : "",
                  stage[0] ? "true" : "false", stage[1], stage[2], stage[3], stage[4], stage[5],
                  stage[6], stage[7], stage[8], stage[9], stage[10] ? "true" : "false",
                  stage[11] ? "true" : "false", double(pixels.nudgeX), double(pixels.nudgeY),
                  pixels.flipY ? -1.0 : 1.0);
    const std::string source =
        std::string(constants) + SampleFunction(stage[0], indexed) + kFragmentShader;
    return CompileShader(GL_FRAGMENT_SHADER, source.c_str());
}

void BindVertexLayout(bool units) {
    const GLsizei stride = units ? sizeof(GLUnitVertex) : sizeof(GLVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(GLVertex, x)));
    // GL_BGRA size reads the D3DCOLOR bytes (blue, green, red, alpha) as red, green, blue, alpha.
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void*>(offsetof(GLVertex, diffuse)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void*>(offsetof(GLVertex, specular)));
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(GLVertex, u)));
    // Without units every vertex reads unit 0, the attribute's value when no array feeds it.
    if (units) {
        glEnableVertexAttribArray(4);
        glVertexAttribIPointer(4, 1, GL_UNSIGNED_INT, stride,
                               reinterpret_cast<void*>(offsetof(GLUnitVertex, unit)));
    } else {
        glDisableVertexAttribArray(4);
        glVertexAttribI4ui(4, 0, 0, 0, 0);
    }
}

}  // namespace hv
