// Presenting: the off-screen back buffer drawn into the window as one textured quad.
//
// A quad drawn by a program of our own replaces glBlitFramebuffer here: a software driver makes
// the blit's own shaders afresh in every process (tens of milliseconds before the first frame
// appears), while it keeps compiled programs of ours from one run to the next.
#include <epoxy/gl.h>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

// The quad covers the viewport (the destination rectangle); uSource holds the texture
// coordinates at its left-bottom (xy) and right-top (zw) corners.
constexpr const char* kPresentVertexShader = R"(#version 330 core
uniform vec4 uSource;
out vec2 vUV;
void main() {
    vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
    vUV = mix(uSource.xy, uSource.zw, corner);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

constexpr const char* kPresentFragmentShader = R"(#version 330 core
uniform sampler2D uFrame;
in vec2 vUV;
out vec4 fragColor;
void main() { fragColor = texture(uFrame, vUV); }
)";

}  // namespace

bool GLPresenter::Create() {
    const GLuint vs = CompileShader(GL_VERTEX_SHADER, kPresentVertexShader);
    const GLuint fs = vs ? CompileShader(GL_FRAGMENT_SHADER, kPresentFragmentShader) : 0;
    if (fs) program_ = LinkProgram(vs, fs);
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (!program_) return false;
    source_ = glGetUniformLocation(program_, "uSource");
    glUseProgram(program_);
    glUniform1i(glGetUniformLocation(program_, "uFrame"), 0);
    glGenVertexArrays(1, &vao_);  // the quad needs no vertex data, only a vertex array
    glGenSamplers(1, &sampler_);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return true;
}

void GLPresenter::Destroy() {
    if (sampler_) glDeleteSamplers(1, &sampler_);
    if (vao_) glDeleteVertexArrays(1, &vao_);
    if (program_) glDeleteProgram(program_);
    sampler_ = vao_ = program_ = 0;
}

void GLPresenter::Draw(GLuint frame, GLint width, GLint height, const RECT& src, bool flipY,
                       GLint x, GLint y, GLsizei w, GLsizei h, bool sharp) {
    const float fw = float(width), fh = float(height);
    // Texture rows count from OpenGL's row 0: Direct3D's top row when the buffer is upside
    // down, its bottom row otherwise. The destination's top shows the source's top.
    const float vTop = flipY ? float(src.top) / fh : 1.0f - float(src.top) / fh;
    const float vBottom = flipY ? float(src.bottom) / fh : 1.0f - float(src.bottom) / fh;
    glUseProgram(program_);
    glUniform4f(source_, float(src.left) / fw, vBottom, float(src.right) / fw, vTop);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, frame);
    const GLint filter = sharp ? GL_NEAREST : GL_LINEAR;
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, filter);
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, filter);
    glBindSampler(0, sampler_);
    glBindVertexArray(vao_);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(x, y, w, h);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // The back buffer is drawn into next: it must not stay bound for sampling.
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace hv
