// D3DX on the OpenGL device: pictures into textures, the font, the matrix helpers.
#include <png.h>
#include <stb/stb_image_write.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/device/DeviceFixture.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv::test {
namespace {

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::string*>(context);
    out->append(static_cast<const char*>(data), size_t(size));
}

// A picture file in memory from 0xAARRGGBB texels.
std::string Encode(int w, int h, const std::function<D3DCOLOR(int, int)>& texel,
                   bool jpeg = false) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const D3DCOLOR c = texel(x, y);
            uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c),
            p[3] = uint8_t(c >> 24);
        }
    std::string out;
    if (jpeg)
        stbi_write_jpg_to_func(Append, &out, w, h, 4, rgba.data(), 95);
    else
        stbi_write_png_to_func(Append, &out, w, h, 4, rgba.data(), w * 4);
    return out;
}

D3DCOLOR Texel(IDirect3DTexture9* t, UINT level, int x, int y) {
    D3DLOCKED_RECT r;
    EXPECT_EQ(t->LockRect(level, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    D3DCOLOR c;
    std::memcpy(&c, static_cast<uint8_t*>(r.pBits) + size_t(y) * r.Pitch + size_t(x) * 4, 4);
    t->UnlockRect(level);
    return c;
}

// A 100 x 50 picture, its left half red and its right half blue.
std::string RedBlueHalves() {
    return Encode(100, 50, [](int x, int) { return x < 50 ? 0xFFFF0000u : 0xFF0000FFu; });
}

// The size of level 0 of `t`.
std::pair<UINT, UINT> Size(IDirect3DTexture9* t) {
    D3DSURFACE_DESC desc;
    EXPECT_EQ(t->GetLevelDesc(0, &desc), D3D_OK);
    return {desc.Width, desc.Height};
}

using D3DXTest = DeviceTest;

TEST_F(D3DXTest, PictureIsStretchedOverAPowerOfTwoTextureWithItsMipmaps) {
    const std::string png = RedBlueHalves();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), UINT(png.size()), &t), D3D_OK);
    EXPECT_EQ(Size(t), std::make_pair(128u, 64u));
    D3DSURFACE_DESC desc;
    ASSERT_EQ(t->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(t->GetLevelCount(), 8u);
    EXPECT_EQ(Texel(t, 0, 3, 0), 0xFFFF0000u);
    EXPECT_EQ(Texel(t, 0, 60, 63), 0xFFFF0000u);  // the red half reaches 64 of 128 texels
    EXPECT_EQ(Texel(t, 0, 67, 0), 0xFF0000FFu);
    EXPECT_EQ(Texel(t, 0, 124, 63), 0xFF0000FFu);
    // Beyond its edges the picture wraps round: the first column takes some of the last (blue)
    // and the last some of the first (red).
    EXPECT_GT(Blue(Texel(t, 0, 0, 10)), 0);
    EXPECT_GT(Red(Texel(t, 0, 127, 10)), 0);
    const D3DCOLOR edge = Texel(t, 0, 64, 10);  // the triangle filter blends across the edge
    EXPECT_GT(Red(edge), 0);
    EXPECT_GT(Blue(edge), 0);
    ASSERT_EQ(t->GetLevelDesc(7, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    const D3DCOLOR mean = Texel(t, 7, 0, 0);
    EXPECT_NEAR(Red(mean), 128, 3);
    EXPECT_NEAR(Blue(mean), 128, 3);
    t->Release();
}

TEST_F(D3DXTest, LockRectReadsLevelZeroAndTheTextureDrawsIt) {
    const D3DCOLOR texels[4] = {0xFF102030, 0x80405060, 0xFF708090, 0x00A0B0C0};
    const std::string png = Encode(2, 2, [&](int x, int y) { return texels[y * 2 + x]; });
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("hv_device_" + std::to_string(getpid()) + ".jpg");
    std::ofstream(file, std::ios::binary) << png;  // a PNG under a JPEG name
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, file.c_str(), &t), D3D_OK);
    std::filesystem::remove(file);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Texel(t, 0, i % 2, i / 2), texels[i]) << i;

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    IDirect3DVertexBuffer9* vb = MakeBuffer(PictureQuad(2, 2, 2, 2));
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Draw(vb, D3DPT_TRIANGLESTRIP, 2, Translation(-0.5f, -0.5f));
    const auto f = Frame();
    EXPECT_EQ(At(f, 0, 0), 0xFF102030u);
    vb->Release();
    t->Release();
}

TEST_F(D3DXTest, SixteenBitFormatQuantisesToFourBitsPerChannel) {
    const std::string png = Encode(4, 4, [](int, int) { return 0xFF12B4E7u; });
    IDirect3DTexture9* t = nullptr;
    // A filter without D3DX_FILTER_DITHER: each channel to the nearest level.
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device, png.data(), UINT(png.size()), 0, 0, 0, 0, D3DFMT_A4R4G4B4,
                  D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0, nullptr, nullptr, &t),
              D3D_OK);
    D3DSURFACE_DESC desc;
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint16_t v;
    std::memcpy(&v, r.pBits, 2);
    t->UnlockRect(0);
    // 0x12 -> 1, 0xB4 -> 11, 0xE7 -> 14 (nearest of 16 levels); alpha 15.
    EXPECT_EQ(v, 0xF1BE);

    // Drawn, each channel comes back as the 4-bit value repeated: 0x11, 0xBB, 0xEE.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    IDirect3DVertexBuffer9* vb = MakeBuffer(PictureQuad(4, 4, 4, 4));
    device->SetTexture(0, t);
    Draw(vb, D3DPT_TRIANGLESTRIP, 2, Translation(10.5f, 10.5f));
    EXPECT_EQ(At(Frame(), 12, 12), 0xFF11BBEEu);
    vb->Release();
    t->Release();
}

// The 4-bit levels of each texel of level 0 of a D3DFMT_A4R4G4B4 texture, red channel.
std::vector<int> RedLevels(IDirect3DTexture9* t, UINT w, UINT h) {
    std::vector<int> levels;
    D3DLOCKED_RECT r;
    EXPECT_EQ(t->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) {
            uint16_t v;
            std::memcpy(&v, static_cast<uint8_t*>(r.pBits) + y * r.Pitch + x * 2, 2);
            levels.push_back((v >> 8) & 0xF);
        }
    t->UnlockRect(0);
    return levels;
}

TEST_F(D3DXTest, TheDefaultFilterDithersConversionsToFewerBits) {
    // Red 0x80 lies between the 4-bit levels 7 (0x77) and 8 (0x88), at 7.53. A 4 x 4 ordered
    // dither makes each 4 x 4 block a mix of both whose mean is the value, repeating every four
    // texels; without dithering every texel takes the nearest level.
    const std::string png = Encode(8, 8, [](int, int) { return 0xFF800000u; });
    IDirect3DTexture9* dithered = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, png.data(), UINT(png.size()), 0, 0, 1, 0,
                                                  D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                  D3DX_DEFAULT, 0, nullptr, nullptr, &dithered),
              D3D_OK);
    const std::vector<int> levels = RedLevels(dithered, 8, 8);
    int sum = 0, sevens = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int l = levels[size_t(y * 8 + x)];
            EXPECT_TRUE(l == 7 || l == 8) << x << "," << y << ": " << l;
            sum += l;
            sevens += l == 7;
            EXPECT_EQ(levels[size_t(y * 8 + x + 4)], l);
            EXPECT_EQ(levels[size_t((y + 4) * 8 + x)], l);
        }
    EXPECT_NEAR(sum / 16.0, 0x80 * 15 / 255.0, 1 / 16.0);
    EXPECT_GT(sevens, 0);
    dithered->Release();

    IDirect3DTexture9* rounded = nullptr;
    ASSERT_EQ(
        D3DXCreateTextureFromFileInMemoryEx(device, png.data(), UINT(png.size()), 0, 0, 1, 0,
                                            D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE,
                                            D3DX_DEFAULT, 0, nullptr, nullptr, &rounded),
        D3D_OK);
    for (int l : RedLevels(rounded, 8, 8)) EXPECT_EQ(l, 8);
    rounded->Release();
}

TEST_F(D3DXTest, MirrorFlagsKeepThePictureFromWrappingRound) {
    // Red then blue columns stretched from 100 to 128: mirrored, the first column has no blue
    // and the last no red; under the default filter both take some of the opposite edge.
    const std::string png =
        Encode(100, 4, [](int x, int) { return x < 50 ? 0xFFFF0000u : 0xFF0000FFu; });
    for (DWORD mirror : {DWORD(0), D3DX_FILTER_MIRROR_U, D3DX_FILTER_MIRROR}) {
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, png.data(), UINT(png.size()), 0, 0, 1,
                                                      0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                      D3DX_FILTER_TRIANGLE | mirror, D3DX_DEFAULT,
                                                      0, nullptr, nullptr, &t),
                  D3D_OK);
        if (mirror) {
            EXPECT_EQ(Texel(t, 0, 0, 1), 0xFFFF0000u) << mirror;
            EXPECT_EQ(Texel(t, 0, 127, 1), 0xFF0000FFu) << mirror;
        } else {
            EXPECT_GT(Blue(Texel(t, 0, 0, 1)), 0);
            EXPECT_GT(Red(Texel(t, 0, 127, 1)), 0);
        }
        t->Release();
    }
}

TEST(D3DXOnRecordingDevice, APictureLargerThanTheDeviceTakesIsCutDownToItsLargestTexture) {
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = 1;
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    auto* device = new RecordingDevice(pp);
    device->MaxTextureSize = 64;
    // 100 x 50: rounded up to 128 x 64, then cut down to 64 x 64, the picture squeezed across.
    const std::string png = RedBlueHalves();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), UINT(png.size()), &t), D3D_OK);
    EXPECT_EQ(Size(t), std::make_pair(64u, 64u));
    EXPECT_EQ(Texel(t, 0, 20, 30), 0xFFFF0000u);
    EXPECT_EQ(Texel(t, 0, 44, 30), 0xFF0000FFu);
    // Asked for explicitly, a side is cut down too.
    IDirect3DTexture9* wide = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, png.data(), UINT(png.size()), 256, 16, 1,
                                                  0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                  D3DX_DEFAULT, 0, nullptr, nullptr, &wide),
              D3D_OK);
    EXPECT_EQ(Size(wide), std::make_pair(64u, 16u));
    wide->Release();
    // 21 texels cut down to 16: a reduction the resampler's triangle filter refuses by ending
    // the program. The picture must come out, one colour still one colour.
    device->MaxTextureSize = 16;
    const std::string odd = Encode(21, 8, [](int, int) { return 0xFF336699u; });
    IDirect3DTexture9* cut = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, odd.data(), UINT(odd.size()), &cut),
              D3D_OK);
    EXPECT_EQ(Size(cut), std::make_pair(16u, 8u));
    EXPECT_EQ(Texel(cut, 0, 7, 3), 0xFF336699u);
    cut->Release();
    t->Release();
    device->Release();
}

TEST_F(D3DXTest, JpegPicturesLoadToo) {
    const std::string jpg = Encode(
        30, 20, [](int, int) { return 0xFF40A0F0u; }, true);
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, jpg.data(), UINT(jpg.size()), 0, 0, 0, 0,
                                                  D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                  D3DX_DEFAULT, 0, &info, nullptr, &t),
              D3D_OK);
    EXPECT_EQ(info.Width, 30u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    D3DSURFACE_DESC desc;
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 32u);
    const D3DCOLOR c = Texel(t, 0, 16, 16);
    EXPECT_NEAR(Red(c), 0x40, 4);
    EXPECT_NEAR(Blue(c), 0xF0, 4);
    t->Release();
}

// A PNG file of the given colour type and bit depth from packed rows of samples as the format
// stores them; `palette` as RGB triples, `trns` the transparency chunk's bytes.
std::string WritePng(int w, int h, int colorType, int depth, const std::vector<uint8_t>& samples,
                     const std::vector<uint8_t>& palette = {},
                     const std::vector<uint8_t>& trns = {}, bool interlaced = false) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::string out;
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colors;
    for (size_t i = 0; i + 2 < palette.size(); i += 3)
        colors.push_back({palette[i], palette[i + 1], palette[i + 2]});
    if (!colors.empty()) png_set_PLTE(png, info, colors.data(), int(colors.size()));
    png_color_16 key{};
    if (!trns.empty() && colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    } else if (!trns.empty()) {  // a 16-bit grey value or RGB triple, big-endian
        key.gray = key.red = png_uint_16(trns[0] << 8 | trns[1]);
        if (trns.size() >= 6) {
            key.green = png_uint_16(trns[2] << 8 | trns[3]);
            key.blue = png_uint_16(trns[4] << 8 | trns[5]);
        }
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    const size_t stride = samples.size() / size_t(h);
    std::vector<png_bytep> rows;
    for (int y = 0; y < h; ++y) rows.push_back(const_cast<uint8_t*>(&samples[size_t(y) * stride]));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST_F(D3DXTest, EveryKindOfPngDecodesToItsColoursAndTransparency) {
    struct Kind {
        const char* name;
        std::string file;
        std::vector<D3DCOLOR> expected;  // 2 x 2, rows top first
    };
    const Kind kinds[] = {
        {"grey",
         WritePng(2, 2, PNG_COLOR_TYPE_GRAY, 8, {0x00, 0x40, 0x80, 0xFF}),
         {0xFF000000, 0xFF404040, 0xFF808080, 0xFFFFFFFF}},
        {"2-bit grey",
         WritePng(2, 2, PNG_COLOR_TYPE_GRAY, 2, {0x10, 0xB0}),  // 0,1 / 2,3
         {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
        {"16-bit grey",
         WritePng(2, 2, PNG_COLOR_TYPE_GRAY, 16, {0x12, 0xFF, 0, 0, 0xAB, 0, 0xFF, 0xFF}),
         {0xFF121212, 0xFF000000, 0xFFABABAB, 0xFFFFFFFF}},
        {"grey with a transparent value",
         WritePng(2, 2, PNG_COLOR_TYPE_GRAY, 8, {0x10, 0x20, 0x30, 0x20}, {}, {0, 0x20}),
         {0xFF101010, 0x00202020, 0xFF303030, 0x00202020}},
        {"grey and alpha",
         WritePng(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {9, 0x80, 7, 0, 5, 0xFF, 3, 1}),
         {0x80090909, 0x00070707, 0xFF050505, 0x01030303}},
        {"palette, one transparent entry",
         WritePng(2, 2, PNG_COLOR_TYPE_PALETTE, 4, {0x01, 0x21},
                  {10, 20, 30, 40, 50, 60, 70, 80, 90}, {255, 0}),
         {0xFF0A141E, 0x0028323C, 0xFF46505A, 0x0028323C}},
        {"palette, translucent entries",
         WritePng(2, 2, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 1},
                  {10, 20, 30, 40, 50, 60, 70, 80, 90}, {0x80, 0x40}),
         {0x800A141E, 0x4028323C, 0xFF46505A, 0x4028323C}},
        {"16-bit RGB",
         WritePng(2, 1, PNG_COLOR_TYPE_RGB, 16,
                  {0x11, 0xFF, 0x22, 0, 0x33, 0x80, 0xFE, 1, 0, 2, 0x7F, 3}),
         {0xFF112233, 0xFFFE007F}},
        {"RGB with a transparent colour",
         WritePng(2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {}, {0, 4, 0, 5, 0, 6}),
         {0xFF010203, 0x00040506}},
        {"interlaced RGBA",
         WritePng(2, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8,
                  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {}, {}, true),
         {0x04010203, 0x08050607, 0x0C090A0B, 0x100D0E0F}},
    };
    for (const Kind& k : kinds) {
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                      device, k.file.data(), UINT(k.file.size()), D3DX_DEFAULT_NONPOW2,
                      D3DX_DEFAULT_NONPOW2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                      D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr, &t),
                  D3D_OK)
            << k.name;
        for (size_t i = 0; i < k.expected.size(); ++i)  // two texels a row
            EXPECT_EQ(Texel(t, 0, int(i % 2), int(i / 2)), k.expected[i]) << k.name << " " << i;
        t->Release();
    }
}

TEST_F(D3DXTest, MipmapsKeepThePictureTheyWereMadeFromAndAreDrawnWhenAsked) {
    // A checkerboard of single texels: level 0 black and white, level 1 grey all over.
    const std::string png =
        Encode(8, 8, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u; });
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), UINT(png.size()), &t), D3D_OK);
    ASSERT_EQ(t->GetLevelCount(), 4u);

    auto quad = [&](float side) {
        return MakeBuffer({{9.5f, 9.5f, 1, 0xFFFFFFFF, 0, 0},
                           {9.5f, 9.5f + side, 1, 0xFFFFFFFF, 0, 1},
                           {9.5f + side, 9.5f, 1, 0xFFFFFFFF, 1, 0},
                           {9.5f + side, 9.5f + side, 1, 0xFFFFFFFF, 1, 1}});
    };
    IDirect3DVertexBuffer9 *whole = quad(8), *half = quad(4);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    DrawPicture(t, whole, Translation(0, 0));
    auto f = Frame();
    EXPECT_EQ(At(f, 10, 10), 0xFF000000u);
    EXPECT_EQ(At(f, 11, 10), 0xFFFFFFFFu);

    // Level 0 turns white; the lower levels keep the picture they were made from, whether
    // read, drawn minified 2:1 with a mipmap filter (level 1), or not.
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            static_cast<D3DCOLOR*>(r.pBits)[y * r.Pitch / 4 + x] = 0xFFFFFFFFu;
    t->UnlockRect(0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    DrawPicture(t, half, Translation(0, 0));
    f = Frame();
    for (int x = 10; x < 14; ++x) {
        EXPECT_NEAR(Red(At(f, x, 10)), 128, 1) << x;
        EXPECT_NEAR(Blue(At(f, x, 11)), 128, 1) << x;
    }
    EXPECT_NEAR(Green(Texel(t, 3, 0, 0)), 128, 1);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    DrawPicture(t, whole, Translation(0, 0));
    f = Frame();
    EXPECT_EQ(At(f, 10, 10), 0xFFFFFFFFu);
    whole->Release();
    half->Release();
    t->Release();
}

TEST_F(D3DXTest, ADrawnPictureStillLocksEvictsAndKeepsWhatWasWrittenToIt) {
    auto texel = [](int x, int y) { return D3DCOLOR_ARGB(255, x * 30, y * 30, 200); };
    const std::string png = Encode(8, 8, texel);
    IDirect3DVertexBuffer9* quad = MakeBuffer(PictureQuad(8, 8, 8, 8));
    auto drawn = [&](IDirect3DTexture9* t) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        DrawPicture(t, quad, Translation(10.5f, 10.5f));
        return Frame();
    };

    // Drawn, then read, evicted and drawn again: always the picture.
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), UINT(png.size()), &t), D3D_OK);
    auto f = drawn(t);
    EXPECT_EQ(At(f, 11 + 5, 11 + 3), texel(5, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(Texel(t, 0, x, y), texel(x, y)) << x << "," << y;
    ASSERT_EQ(device->EvictManagedResources(), D3D_OK);
    f = drawn(t);
    EXPECT_EQ(At(f, 11 + 6, 11 + 5), texel(6, 5));
    t->Release();

    // A picture resampled to its texture reads the same before and after it is drawn.
    const std::string small = Encode(6, 6, texel);
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, small.data(), UINT(small.size()), &t),
              D3D_OK);
    std::vector<D3DCOLOR> before;
    for (int i = 0; i < 64; ++i) before.push_back(Texel(t, 0, i % 8, i / 8));
    drawn(t);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(Texel(t, 0, i % 8, i / 8), before[size_t(i)]) << i;
    t->Release();

    // Written before it is first drawn: what was written stays, through eviction too.
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), UINT(png.size()), &t), D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
    static_cast<D3DCOLOR*>(r.pBits)[2 * r.Pitch / 4 + 4] = 0xFF00FF00u;
    t->UnlockRect(0);
    f = drawn(t);
    EXPECT_EQ(At(f, 11 + 4, 11 + 2), 0xFF00FF00u);
    ASSERT_EQ(device->EvictManagedResources(), D3D_OK);
    EXPECT_EQ(Texel(t, 0, 4, 2), 0xFF00FF00u);
    EXPECT_EQ(Texel(t, 0, 5, 2), texel(5, 2));
    f = drawn(t);
    EXPECT_EQ(At(f, 11 + 4, 11 + 2), 0xFF00FF00u);
    t->Release();
    quad->Release();
}

TEST_F(D3DXTest, BrokenOrHostilePicturesFailWithoutATexture) {
    const std::string png = Encode(8, 8, [](int, int) { return 0xFFFFFFFFu; });
    const std::string jpg = Encode(
        8, 8, [](int, int) { return 0xFFFFFFFFu; }, true);
    std::vector<std::string> bad = {"",
                                    "not a picture at all",
                                    png.substr(0, 8),
                                    png.substr(0, png.size() / 2),
                                    jpg.substr(0, 3),
                                    jpg.substr(0, jpg.size() / 2)};
    std::string crc = png;
    crc[29] ^= 0x55;  // the header's checksum
    bad.push_back(crc);
    std::string huge = png;  // 100000 x 100000 declared
    huge[16] = 0, huge[17] = 0x01, huge[18] = char(0x86), huge[19] = char(0xA0);
    huge[20] = 0, huge[21] = 0x01, huge[22] = char(0x86), huge[23] = char(0xA0);
    bad.push_back(huge);
    std::string wideJpeg = jpg;  // a frame header declaring 65535 x 65535
    for (size_t i = 2; i + 9 < wideJpeg.size(); ++i)
        if (uint8_t(wideJpeg[i]) == 0xFF && (uint8_t(wideJpeg[i + 1]) & 0xF0) == 0xC0 &&
            uint8_t(wideJpeg[i + 1]) != 0xC4) {
            for (int k = 5; k < 9; ++k) wideJpeg[i + k] = char(0xFF);
            break;
        }
    bad.push_back(wideJpeg);
    for (size_t i = 0; i < bad.size(); ++i) {
        IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
        EXPECT_TRUE(FAILED(
            D3DXCreateTextureFromFileInMemory(device, bad[i].data(), UINT(bad[i].size()), &t)))
            << i;
        EXPECT_EQ(t, nullptr) << i;
    }
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, "no\\such\\picture.png", &t), D3DXERR_INVALIDDATA);
    EXPECT_EQ(t, nullptr);
}

TEST_F(D3DXTest, PicturesWhoseChunksRunPastTheEndOrThatAreTooLargeFailAtOnce) {
    const std::string png = Encode(8, 8, [](int, int) { return 0xFF00FF00u; });
    // After the header chunk (8 + 25 bytes): an ancillary chunk whose length runs past the end
    // of the file, as in the decoder's own crash-test files.
    std::string runsPast = png.substr(0, 33);
    runsPast += std::string("\x7F\xFF\xFF\x00tEXtComment", 15);
    std::string noEnd = png.substr(0, png.size() - 12);  // every chunk but IEND
    // 16384 x 8192 declared: sides the device could hold, but a quarter more texels than a
    // picture may have.
    std::string tooMany = png;
    tooMany[16] = 0, tooMany[17] = 0, tooMany[18] = 0x40, tooMany[19] = 0;
    tooMany[20] = 0, tooMany[21] = 0, tooMany[22] = 0x20, tooMany[23] = 0;
    for (const std::string& bad : {runsPast, noEnd, tooMany}) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, bad.data(), UINT(bad.size()), &t),
                  D3DXERR_INVALIDDATA);
        EXPECT_EQ(t, nullptr);
    }
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), UINT(png.size()), &t), D3D_OK);
    t->Release();
}

TEST_F(D3DXTest, TextAppearsWhereAskedInItsColourWhateverTheTransform) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontW(device, 20, 0, FW_BOLD, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, 0, L"", &font),
              D3D_OK);
    RECT measure{0, 0, 0, 0};
    EXPECT_EQ(font->DrawTextA(nullptr, "Hello", -1, &measure, DT_CALCRECT, 0), 20);
    EXPECT_GT(measure.right, 30);
    EXPECT_LT(measure.right, 80);
    EXPECT_EQ(measure.bottom, 20);
    RECT two{0, 0, 0, 0};
    EXPECT_EQ(font->DrawTextA(nullptr, "a\nb", -1, &two, DT_CALCRECT, 0), 40);
    // A byte that is not UTF-8 is read as Windows-1252: "\xE9" is the same letter as "é".
    RECT latin{0, 0, 0, 0}, utf8{0, 0, 0, 0};
    font->DrawTextA(nullptr, "\xE9", -1, &latin, DT_CALCRECT, 0);
    font->DrawTextA(nullptr, "\xC3\xA9", -1, &utf8, DT_CALCRECT, 0);
    EXPECT_EQ(latin.right, utf8.right);
    EXPECT_GT(latin.right, 0);

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    const D3DXMATRIX moved = Translation(50, 40);
    device->SetTransform(D3DTS_WORLD, &moved);
    RECT at{40, 30, 0, 0};
    EXPECT_EQ(font->DrawTextA(nullptr, "Hello", -1, &at, DT_NOCLIP, 0xFFFFFF00), 20);
    device->EndScene();
    const auto f = Frame();
    int lit = 0, outside = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const D3DCOLOR c = At(f, x, y);
            if ((c & 0xFFFFFF) == 0) continue;
            ++lit;
            const bool inside = x >= 40 && x < 40 + measure.right && y >= 30 && y < 50;
            outside += !inside;
            if (inside) {
                EXPECT_EQ(Blue(c), 0);  // yellow, blended over black
            }
        }
    EXPECT_GT(lit, 60);
    EXPECT_EQ(outside, 0);

    // Without DT_NOCLIP the rectangle clips.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    RECT clipped{40, 30, 50, 50};
    font->DrawTextA(nullptr, "Hello", -1, &clipped, 0, 0xFFFFFFFF);
    const auto g = Frame();
    for (int y = 0; y < H; ++y)
        for (int x = 50; x < W; ++x) ASSERT_EQ(At(g, x, y) & 0xFFFFFF, 0u) << x << "," << y;
    font->Release();
}

// Lines of text in a row share one OpenGL draw call, and look as they do drawn one by one.
TEST_F(D3DXTest, LinesOfTextInARowAreOneDrawAndLookAsDrawnOneByOne) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontW(device, 16, 0, FW_NORMAL, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, 0, L"", &font),
              D3D_OK);
    auto frame = [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 1.0f, 0);
        device->BeginScene();
        for (int i = 0; i < 6; ++i) {
            RECT at{4 + i * 7, 2 + i * 17, 0, 0};  // overlapping lines in different colours
            font->DrawTextA(nullptr, i % 2 ? "Lantern" : "Find the key", -1, &at, DT_NOCLIP,
                            0xFF000000u | (0x3F1F0Fu * uint32_t(i + 1)));
        }
        device->EndScene();
        return Frame();
    };
    frame();  // the glyphs are made once, the first time they are drawn
    const uint64_t before = GLDrawCallCount(device);
    const auto together = frame();
    EXPECT_EQ(GLDrawCallCount(device) - before, 1u);
    SetBatching(device, false);
    const auto apart = frame();
    SetBatching(device, true);
    size_t differing = 0, lit = 0;
    for (size_t i = 0; i < together.size(); ++i) {
        differing += together[i] != apart[i];
        lit += together[i] != 0xFF203040u;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(lit, 200u);
    font->Release();
}

TEST(D3DXMatrices, FollowTheRowVectorConvention) {
    D3DXMATRIX ortho, turn, shift;
    D3DXMatrixOrthoOffCenterLH(&ortho, 0, 800, 600, 0, -1, 1);
    auto apply = [](const D3DXMATRIX& m, float x, float y, float z) {
        return std::array<float, 3>{x * m._11 + y * m._21 + z * m._31 + m._41,
                                    x * m._12 + y * m._22 + z * m._32 + m._42,
                                    x * m._13 + y * m._23 + z * m._33 + m._43};
    };
    EXPECT_EQ(apply(ortho, 0, 0, 1), (std::array<float, 3>{-1, 1, 1}));
    EXPECT_EQ(apply(ortho, 800, 600, -1), (std::array<float, 3>{1, -1, 0}));
    D3DXMatrixRotationZ(&turn, float(M_PI / 2));
    D3DXMatrixTranslation(&shift, 10, 0, 0);
    const auto a = apply(turn * shift, 1, 0, 0);  // turned first, then moved
    EXPECT_NEAR(a[0], 10, 1e-6);
    EXPECT_NEAR(a[1], 1, 1e-6);
    const auto b = apply(shift * turn, 1, 0, 0);  // moved first, then turned
    EXPECT_NEAR(b[0], 0, 1e-5);
    EXPECT_NEAR(b[1], 11, 1e-5);
    D3DXMATRIX product = turn;
    D3DXMatrixMultiply(&product, &product, &shift);  // the result may be an operand
    EXPECT_EQ(std::memcmp(&product, &static_cast<const D3DXMATRIX&>(turn * shift), sizeof product),
              0);
}

}  // namespace
}  // namespace hv::test
