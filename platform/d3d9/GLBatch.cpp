// Which pending batch a draw joins: one with the same state but for the texture (each texture
// and sampler set-up a unit of its own), or the one drawn first when the draw touches none of
// the pixels of the batch drawn after it; and the log of why batches were drawn.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

// A batch is drawn once it holds this many vertices, to keep its memory bounded.
constexpr size_t kMaxBatchVertices = 1 << 18;

// How far, in pixels, a pixel a draw changes may lie outside the box of its vertices: the
// half-pixel move of the pixel centres and a line's pixels beside its ends.
constexpr float kBoxMargin = 2.0f;

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// The first state in which `a` and `b`, keys that cannot share a batch, differ.
BatchEnd Difference(const DrawKey& a, const DrawKey& b) {
    // Whether the members from `first` to `last` differ.
    auto differ = [&](size_t first, size_t last) {
        return std::memcmp(reinterpret_cast<const char*>(&a) + first,
                           reinterpret_cast<const char*>(&b) + first, last + 4 - first) != 0;
    };
    if (a.primitive != b.primitive) return BatchEnd::Primitive;
    if (differ(offsetof(DrawKey, blendEnable), offsetof(DrawKey, blendFactor)))
        return BatchEnd::Blend;
    if ((a.slot.texture != nullptr) != (b.slot.texture != nullptr) ||
        differ(offsetof(DrawKey, colorOp), offsetof(DrawKey, flat)) ||
        a.pointSprite != b.pointSprite || a.alphaTest != b.alphaTest ||
        a.alphaFunc != b.alphaFunc || a.alphaRef != b.alphaRef)
        return BatchEnd::Stage;
    return BatchEnd::Other;
}

}  // namespace

void Batch::Start(const DrawKey& first) {
    key = first;
    units = 0;
    if (first.slot.texture) slots[units++] = first.slot;
}

void Batch::Clear() {
    vertices.clear();
    indices.clear();
    unitOf.clear();
    draws.clear();
    boxes.clear();
    units = 0;
}

int Batch::UnitFor(const TextureSlot& slot, uint32_t maxUnits) const {
    for (uint32_t i = 0; i < units; ++i) {
        if (slots[i] == slot) return int(i);
        // A texture is bound with one largest level.
        if (slots[i].texture == slot.texture && slots[i].maxMipLevel != slot.maxMipLevel) return -1;
    }
    return units < maxUnits ? int(units) : -1;
}

PixelBox GLDevice::BoxOf(const DrawKey& key, const GLVertex* vertices, size_t count) const {
    const float w = float(pp_.BackBufferWidth), h = float(pp_.BackBufferHeight);
    float margin = kBoxMargin;
    if (key.primitive == GL_POINTS) {
        float size;
        std::memcpy(&size, &key.pointSize, 4);
        margin += std::max(size, 1.0f) * 0.5f;
    }
    PixelBox box{kInfinity, kInfinity, -kInfinity, -kInfinity};
    for (size_t i = 0; i < count; ++i) {
        const GLVertex& v = vertices[i];
        // A vertex at or behind the eye, or not a number, may send its primitive anywhere.
        const float x = (v.x / v.w + 1.0f) * 0.5f * w, y = (1.0f - v.y / v.w) * 0.5f * h;
        if (!(v.w > 0.0f) || !std::isfinite(x) || !std::isfinite(y))
            return {-kInfinity, -kInfinity, kInfinity, kInfinity};
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
    }
    return {box.left - margin, box.top - margin, box.right + margin, box.bottom + margin};
}

bool GLDevice::Misses(Batch& batch, const PixelBox& box) const {
    if (batch.draws.size() > Batch::kMaxDraws) return false;
    // A draw's vertices are complete once the next draw starts, so its box is made once.
    for (size_t i = batch.boxes.size(); i < batch.draws.size(); ++i) {
        const size_t first = batch.draws[i];
        const size_t end = i + 1 < batch.draws.size() ? batch.draws[i + 1] : batch.vertices.size();
        batch.boxes.push_back(BoxOf(batch.key, batch.vertices.data() + first, end - first));
    }
    return std::none_of(batch.boxes.begin(), batch.boxes.end(),
                        [&](const PixelBox& b) { return b.Meets(box); });
}

BatchEnd GLDevice::Refusal(const Batch& batch, const DrawKey& key, size_t vertices,
                           int& unit) const {
    unit = 0;
    if (batch.vertices.size() + vertices > kMaxBatchVertices) return BatchEnd::Full;
    if (!key.SameButTexture(batch.key)) return Difference(batch.key, key);
    if (key.slot.texture && (unit = batch.UnitFor(key.slot, maxUnits_)) < 0)
        return BatchEnd::Textures;
    return BatchEnd::Count;
}

DrawTarget GLDevice::BeginDraw(const DrawKey& key, size_t vertices) {
    Batch& last = batches_[1];
    int unit = 0;
    if (last.Empty()) {
        last.Start(key);
    } else if (Refusal(last, key, vertices, unit) != BatchEnd::Count) {
        drawVertices_.clear();
        drawIndices_.clear();
        return {nullptr, &drawVertices_, &drawIndices_, 0, 0, 0};
    } else if (key.slot.texture && uint32_t(unit) == last.units) {
        last.slots[last.units++] = key.slot;
    }
    return {&last,
            &last.vertices,
            &last.indices,
            uint32_t(last.vertices.size()),
            last.indices.size(),
            uint32_t(unit)};
}

void GLDevice::EndDraw(const DrawKey& key, const DrawTarget& target) {
    if (target.batch) {
        target.batch->NoteDraw(target.firstVertex, target.unit);
        return;
    }
    const std::vector<GLVertex>& draw = drawVertices_;
    Batch& first = batches_[0];
    Batch* to = &batches_[1];
    int unit = 0;
    const BatchEnd why = Refusal(*to, key, draw.size(), unit);
    // The first batch is drawn before the last one's draws, all made before this one: it may
    // take this draw only where their pixels are not this draw's.
    if (first.Empty() || Refusal(first, key, draw.size(), unit) != BatchEnd::Count ||
        !Misses(*to, BoxOf(key, draw.data(), draw.size()))) {
        if (!first.Empty()) DrawBatch(first, why);
        std::swap(batches_[0], batches_[1]);
        to->Start(key);
        unit = 0;
    } else {
        to = &first;
        if (key.slot.texture && uint32_t(unit) == to->units) to->slots[to->units++] = key.slot;
    }
    const uint32_t base = uint32_t(to->vertices.size());
    to->vertices.insert(to->vertices.end(), draw.begin(), draw.end());
    for (uint32_t i : drawIndices_) to->indices.push_back(base + i);
    to->NoteDraw(base, uint32_t(unit));
}

void GLDevice::Flush(BatchEnd why) {
    for (Batch& b : batches_)
        if (!b.Empty()) DrawBatch(b, why);
}

void GLDevice::FlushIfUses(GLTexture* texture) {
    for (const Batch& b : batches_)
        for (uint32_t i = 0; i < b.units; ++i)
            if (b.slots[i].texture == texture && !b.Empty()) return Flush();
}

void GLDevice::LogBatches() {
    static constexpr uint32_t kFrames = 100;
    if (++loggedFrames_ < kFrames) return;
    const double frames = double(loggedFrames_);
    auto perFrame = [&](BatchEnd why) { return double(batchEnds_[size_t(why)]) / frames; };
    std::fprintf(stderr,
                 "OpenGL device: per frame over %u frames: %.1f draw calls; batches ended by "
                 "textures %.1f, primitive %.1f, blending %.1f, stage %.1f, other state %.1f, "
                 "full %.1f, asked %.1f\n",
                 loggedFrames_, double(drawCalls_ - loggedDrawCalls_) / frames,
                 perFrame(BatchEnd::Textures), perFrame(BatchEnd::Primitive),
                 perFrame(BatchEnd::Blend), perFrame(BatchEnd::Stage), perFrame(BatchEnd::Other),
                 perFrame(BatchEnd::Full), perFrame(BatchEnd::Asked));
    batchEnds_.fill(0);
    loggedDrawCalls_ = drawCalls_;
    loggedFrames_ = 0;
}

}  // namespace hv
