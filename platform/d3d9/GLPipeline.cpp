// How a batch reaches OpenGL: the fragment program and sampler of its key, the fixed-function
// state it needs (sent only where it differs from what the context already holds), and its
// vertices and indices, streamed into buffers used as fenced rings instead of a new store for
// every draw.
#include <algorithm>
#include <cstring>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

// The first size of each stream ring; a batch larger than the ring makes it grow.
constexpr size_t kStreamBytes = size_t(4) << 20;

GLenum BlendFactor(uint32_t b) {
    switch (b) {
        case D3DBLEND_ZERO:
            return GL_ZERO;
        case D3DBLEND_SRCCOLOR:
            return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR:
            return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA:
            return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA:
            return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA:
            return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA:
            return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR:
            return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR:
            return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT:
            return GL_SRC_ALPHA_SATURATE;
        case D3DBLEND_BLENDFACTOR:
            return GL_CONSTANT_COLOR;
        case D3DBLEND_INVBLENDFACTOR:
            return GL_ONE_MINUS_CONSTANT_COLOR;
        default:
            return GL_ONE;
    }
}

GLenum BlendEquation(uint32_t op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT:
            return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT:
            return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN:
            return GL_MIN;
        case D3DBLENDOP_MAX:
            return GL_MAX;
        default:
            return GL_FUNC_ADD;
    }
}

// BOTHSRCALPHA and BOTHINVSRCALPHA set the destination factor from the source factor.
void ResolveBlend(uint32_t src, uint32_t dst, GLenum& s, GLenum& d) {
    if (src == D3DBLEND_BOTHSRCALPHA) {
        s = GL_SRC_ALPHA;
        d = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        s = GL_ONE_MINUS_SRC_ALPHA;
        d = GL_SRC_ALPHA;
    } else {
        s = BlendFactor(src);
        d = BlendFactor(dst);
    }
}

GLint AddressMode(uint32_t a) {
    switch (a) {
        case D3DTADDRESS_MIRROR:
            return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
            return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER:
            return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE:
            return GL_MIRROR_CLAMP_TO_EDGE;
        default:
            return GL_REPEAT;
    }
}

// A D3DCOLOR as red, green, blue, alpha from 0 to 1.
void ColorFloats(D3DCOLOR c, float (&out)[4]) {
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

}  // namespace

size_t GLStream::Write(GLenum target, const void* data, size_t bytes) {
    if (bytes > capacity_) {
        // A fresh, larger store: draws already made keep reading the old one.
        Release();
        capacity_ = std::max({capacity_ * 2, bytes, kStreamBytes});
        glBufferData(target, GLsizeiptr(capacity_), nullptr, GL_STREAM_DRAW);
        offset_ = 0;
    }
    const size_t at = offset_ + bytes > capacity_ ? 0 : offset_;
    if (bytes > 0) {
        // Segments are whole bytes of the ring; the last one takes the remainder.
        const size_t segment = capacity_ / kSegments;
        const size_t first = std::min(at / segment, kSegments - 1);
        const size_t last = std::min((at + bytes - 1) / segment, kSegments - 1);
        uint32_t touched = 0;
        for (size_t k = first; k <= last; ++k) touched |= 1u << k;
        // Every draw that reads the segments being left has been made: fence them.
        for (size_t k = 0; k < kSegments; ++k) {
            if ((open_ & ~touched) & (1u << k))
                fences_[k] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        }
        for (size_t k = first; k <= last; ++k) {
            if (!(open_ & (1u << k))) Enter(k);
        }
        open_ = touched;
    }
    // Nothing queued reads this range (its segment's fence has passed), so the driver need not
    // wait for the draws before it.
    void* p = glMapBufferRange(
        target, GLintptr(at), GLsizeiptr(bytes),
        GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
    if (p) {
        std::memcpy(p, data, bytes);
        glUnmapBuffer(target);
    } else {
        glBufferSubData(target, GLintptr(at), GLsizeiptr(bytes), data);
    }
    offset_ = at + bytes;
    return at;
}

void GLStream::Enter(size_t k) {
    if (!fences_[k]) return;
    // A segment comes round again a quarter of the ring later: its draws are long done but on a
    // driver that queues more than that, and then waiting is what keeps its data from changing
    // under them. A wait that fails (a lost context) gives up rather than hang.
    GLenum r = glClientWaitSync(fences_[k], GL_SYNC_FLUSH_COMMANDS_BIT, 0);
    while (r == GL_TIMEOUT_EXPIRED) r = glClientWaitSync(fences_[k], 0, 1000000000);
    glDeleteSync(fences_[k]);
    fences_[k] = nullptr;
}

void GLStream::Release() {
    for (GLsync& f : fences_) {
        if (f) glDeleteSync(f);
        f = nullptr;
    }
    open_ = 0;
}

GLuint GLDevice::SamplerFor(const TextureSlot& k) {
    const SamplerId id = {k.minFilter, k.magFilter,     k.mipFilter, k.addressU,
                          k.addressV,  k.maxAnisotropy, k.border,    k.lodBias};
    auto it = samplers_.find(id);
    if (it != samplers_.end()) return it->second;
    GLuint s = 0;
    glGenSamplers(1, &s);
    const bool minLinear = k.minFilter >= D3DTEXF_LINEAR;
    GLint minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    if (k.mipFilter == D3DTEXF_POINT)
        minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else if (k.mipFilter >= D3DTEXF_LINEAR)
        minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, minFilter);
    glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER,
                        k.magFilter >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(s, GL_TEXTURE_WRAP_S, AddressMode(k.addressU));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_T, AddressMode(k.addressV));
    float border[4];
    ColorFloats(k.border, border);
    glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
    glSamplerParameterf(s, GL_TEXTURE_LOD_BIAS, StateFloat(k.lodBias));
    if (maxAnisotropy_ > 1.0f) {
        const bool aniso = k.minFilter == D3DTEXF_ANISOTROPIC || k.magFilter == D3DTEXF_ANISOTROPIC;
        const float a = aniso ? std::clamp(float(k.maxAnisotropy), 1.0f, maxAnisotropy_) : 1.0f;
        glSamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY_EXT, a);
    }
    samplers_.emplace(id, s);
    return s;
}

const GLDevice::Program& GLDevice::ProgramFor(const DrawKey& k, uint32_t units) {
    const StageProgram id = {
        units,     k.colorOp,    k.colorArg0, k.colorArg1, k.colorArg2,
        k.alphaOp, k.alphaArg0,  k.alphaArg1, k.alphaArg2, k.alphaTest ? k.alphaFunc : 8,
        k.flat,    k.pointSprite};
    auto& programs = programs_[onWindow_ ? 1 : 0];
    auto it = programs.find(id);
    if (it != programs.end()) return it->second;
    Program p;
    if (GLuint fs = CompileStageShader(id, pixels_, indexedUnits_)) {
        p.id = LinkProgram(vertexShader_, fs);
        glDeleteShader(fs);
    }
    if (p.id) {
        p.pixelShift = glGetUniformLocation(p.id, "uPixelShift");
        p.flipY = glGetUniformLocation(p.id, "uFlipY");
        p.factor = glGetUniformLocation(p.id, "uFactor");
        p.constant = glGetUniformLocation(p.id, "uConstant");
        p.alphaRef = glGetUniformLocation(p.id, "uAlphaRef");
        glUseProgram(p.id);
        applied_.program = p.id;
        const GLint unitOf[kMaxBatchUnits] = {0, 1, 2, 3, 4, 5, 6, 7};
        if (units > 0) glUniform1iv(glGetUniformLocation(p.id, "uTexture"), GLsizei(units), unitOf);
    } else if (!programs.empty()) {
        return programs.begin()->second;  // cannot happen with a working compiler; draw anyway
    }
    return programs.emplace(id, p).first->second;
}

namespace {

// Sends `value` through `send` unless `sent` already holds it.
template <typename Send>
void Update(uint32_t& sent, uint32_t value, Send send) {
    if (sent == value) return;
    send();
    sent = value;
}

}  // namespace

void GLDevice::ApplyKey(const DrawKey& k, const TextureSlot* slots, uint32_t units) {
    GLState& s = applied_;
    // A batch of several textures takes the program for the most units a batch binds, so that
    // each set-up of the stage is compiled at most twice, not once for every number of units.
    const Program& program = ProgramFor(k, units > 1 ? maxUnits_ : units);
    Update(s.program, program.id, [&] { glUseProgram(program.id); });
    // Textures are bound every time: binding one is what uploads its changed levels. Unit 0 is
    // left active, where textures are made.
    for (uint32_t i = units; i-- > 0;) {
        const TextureSlot& slot = slots[i];
        glActiveTexture(GL_TEXTURE0 + i);
        slot.texture->Bind(slot.maxMipLevel, slot.mipFilter != D3DTEXF_NONE);
        const GLuint sampler = SamplerFor(slot);
        Update(s.samplers[i], sampler, [&] { glBindSampler(i, sampler); });
    }
    if (units == 0) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    Update(s.blend, k.blendEnable, [&] {
        if (k.blendEnable)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
    });
    if (k.blendEnable) {
        GLenum f[4], op = BlendEquation(k.blendOp), opA = op;
        ResolveBlend(k.srcBlend, k.destBlend, f[0], f[1]);
        f[2] = f[0];
        f[3] = f[1];
        if (k.separateAlpha) {
            ResolveBlend(k.srcBlendAlpha, k.destBlendAlpha, f[2], f[3]);
            opA = BlendEquation(k.blendOpAlpha);
        }
        if (!std::equal(f, f + 4, s.blendFuncs)) {
            glBlendFuncSeparate(f[0], f[1], f[2], f[3]);
            std::copy(f, f + 4, s.blendFuncs);
        }
        if (s.blendOps[0] != op || s.blendOps[1] != opA) {
            glBlendEquationSeparate(op, opA);
            s.blendOps[0] = op;
            s.blendOps[1] = opA;
        }
        const bool usesFactor = std::any_of(f, f + 4, [](GLenum x) {
            return x == GL_CONSTANT_COLOR || x == GL_ONE_MINUS_CONSTANT_COLOR;
        });
        if (usesFactor)
            Update(s.blendColor, k.blendFactor, [&] {
                float c[4];
                ColorFloats(k.blendFactor, c);
                glBlendColor(c[0], c[1], c[2], c[3]);
            });
    }
    // Both culling modes name a winding as it is seen on screen (OpenGL counts in window
    // coordinates, y up, and an upright picture shows y up): Direct3D's counter-clockwise faces
    // are OpenGL's front faces, glFrontFace being set for the buffer's direction.
    const GLenum cull = k.cullMode == D3DCULL_CCW  ? GL_FRONT
                        : k.cullMode == D3DCULL_CW ? GL_BACK
                                                   : GL_NONE;
    Update(s.cull, cull, [&] {
        if (cull == GL_NONE) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(cull);
        }
    });
    const GLenum fill = k.fillMode == D3DFILL_WIREFRAME ? GL_LINE
                        : k.fillMode == D3DFILL_POINT   ? GL_POINT
                                                        : GL_FILL;
    Update(s.fill, fill, [&] { glPolygonMode(GL_FRONT_AND_BACK, fill); });
    const bool alphaWrite =
        pp_.BackBufferFormat == D3DFMT_A8R8G8B8 || pp_.BackBufferFormat == D3DFMT_A1R5G5B5;
    const uint32_t mask = k.colorWrite & (alphaWrite ? 0xFu : 0x7u);
    Update(s.colorMask, mask, [&] {
        glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
    });
    // Point primitives take D3DRS_POINTSIZE; the vertices of D3DFILL_POINT are single pixels.
    float size = 1.0f;
    if (k.primitive == GL_POINTS) std::memcpy(&size, &k.pointSize, 4);
    size = std::max(size, 1.0f / 256.0f);
    uint32_t sizeBits;
    std::memcpy(&sizeBits, &size, 4);
    Update(s.pointSize, sizeBits, [&] { glPointSize(size); });

    // Uniforms belong to the program, which keeps them while others are in use.
    Program::Values& u = program.sent;
    if (!u.known || u.factor != k.textureFactor) {
        float c[4];
        ColorFloats(k.textureFactor, c);
        glUniform4fv(program.factor, 1, c);
    }
    if (!u.known || u.constant != k.constant) {
        float c[4];
        ColorFloats(k.constant, c);
        glUniform4fv(program.constant, 1, c);
    }
    if (!u.known || u.alphaRef != k.alphaRef) glUniform1i(program.alphaRef, GLint(k.alphaRef));
    if (!u.known || u.width != pp_.BackBufferWidth || u.height != pp_.BackBufferHeight) {
        // Half a pixel right and down, less the sample point's offset from the centre.
        glUniform2f(program.pixelShift, (1.0f - 2.0f * pixels_.nudgeX) / float(pp_.BackBufferWidth),
                    -(1.0f - 2.0f * pixels_.nudgeY) / float(pp_.BackBufferHeight));
        glUniform1f(program.flipY, pixels_.flipY ? -1.0f : 1.0f);
    }
    u = {true, k.textureFactor, k.constant, k.alphaRef, pp_.BackBufferWidth, pp_.BackBufferHeight};
}

void GLDevice::DrawBatch(Batch& batch, BatchEnd why) {
    const std::vector<GLVertex>& vertices = batch.vertices;
    const std::vector<uint32_t>& indices = batch.indices;
    MakeCurrent();
    BindTarget();
    glViewport(0, 0, GLsizei(pp_.BackBufferWidth), GLsizei(pp_.BackBufferHeight));
    // Every write to a vertex stream is whole vertices, so each one starts on a vertex.
    size_t firstVertex;
    if (batch.units > 1) {
        glBindVertexArray(unitVao_);
        glBindBuffer(GL_ARRAY_BUFFER, unitVbo_);
        unitVertices_.clear();
        batch.unitOf.resize(vertices.size(), 0);  // never shorter; kept in bounds regardless
        for (size_t i = 0; i < vertices.size(); ++i)
            unitVertices_.push_back({vertices[i], batch.unitOf[i]});
        firstVertex = unitVertexStream_.Write(GL_ARRAY_BUFFER, unitVertices_.data(),
                                              unitVertices_.size() * sizeof(GLUnitVertex)) /
                      sizeof(GLUnitVertex);
    } else {
        glBindVertexArray(vao_);
        glBindBuffer(GL_ARRAY_BUFFER, vbo_);
        firstVertex = vertexStream_.Write(GL_ARRAY_BUFFER, vertices.data(),
                                          vertices.size() * sizeof(GLVertex)) /
                      sizeof(GLVertex);
    }
    const size_t indexAt = indexStream_.Write(GL_ELEMENT_ARRAY_BUFFER, indices.data(),
                                              indices.size() * sizeof(uint32_t));
    ApplyKey(batch.key, batch.slots.data(), batch.units);
    glDrawElementsBaseVertex(batch.key.primitive, GLsizei(indices.size()), GL_UNSIGNED_INT,
                             reinterpret_cast<void*>(indexAt), GLint(firstVertex));
    ++drawCalls_;
    ++batchEnds_[size_t(why)];
    batch.Clear();
}

}  // namespace hv
