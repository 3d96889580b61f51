// The limit of the sprite scenes on this machine: the same moving quads as the scene, drawn
// with the least work OpenGL allows (vertices written on the CPU into one buffer, one indexed
// draw call, one texture, alpha blending), in an 800 x 600 window without waiting for the
// retrace. Frames are counted as the scenes count them and written as "fps=<n>".
//
// Usage: scene_limit COUNT SIZE OUTFILE [SECONDS [WARMUP_MS]]
#include <SDL.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kWidth = 800, kHeight = 600;

GLuint Program() {
    const char* vs =
        "#version 330 core\nlayout(location=0) in vec2 p; layout(location=1) in vec2 t;"
        "uniform vec2 view; out vec2 uv;"
        "void main(){ uv=t; gl_Position=vec4(p.x/view.x*2.0-1.0, 1.0-p.y/view.y*2.0, 0, 1); }";
    const char* fs =
        "#version 330 core\nin vec2 uv; uniform sampler2D s; out vec4 c;"
        "void main(){ c=texture(s,uv); }";
    GLuint program = glCreateProgram();
    for (auto [type, src] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        glAttachShader(program, s);
        glDeleteShader(s);
    }
    glLinkProgram(program);
    return program;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: scene_limit COUNT SIZE OUTFILE [SECONDS [WARMUP_MS]]\n");
        return 2;
    }
    const int n = std::atoi(argv[1]), side = std::atoi(argv[2]);
    const char* outPath = argv[3];
    const double span = (argc > 4 ? std::atof(argv[4]) : 5.0) * 1000;
    const double warmup = argc > 5 ? std::atof(argv[5]) : 1000;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_Window* window = SDL_CreateWindow("limit", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          kWidth, kHeight, SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "scene_limit: no OpenGL 3.3 context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);

    const GLuint program = Program();
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "view"), kWidth, kHeight);
    GLuint vao, vbo, ibo, tex;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
    std::vector<GLuint> indices(size_t(n) * 6);
    for (int i = 0; i < n; ++i) {
        const GLuint b = GLuint(i) * 4;
        const GLuint q[6] = {b, b + 1, b + 2, b + 2, b + 1, b + 3};
        for (int k = 0; k < 6; ++k) indices[size_t(i) * 6 + size_t(k)] = q[k];
    }
    glGenBuffers(1, &ibo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 4), indices.data(),
                 GL_STATIC_DRAW);
    // A half-transparent texture of the sprite's size, so blending does real work.
    std::vector<uint32_t> texels(size_t(side) * size_t(side), 0xC060A0FFu);
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, kWidth, kHeight);

    std::vector<float> v(size_t(n) * 16);
    const uint64_t start = SDL_GetPerformanceCounter();
    const double tick = 1000.0 / double(SDL_GetPerformanceFrequency());
    double measureFrom = -1;
    long frames = 0;
    for (bool running = true; running;) {
        for (SDL_Event e; SDL_PollEvent(&e);)
            if (e.type == SDL_QUIT) running = false;
        const double time = double(SDL_GetPerformanceCounter() - start) * tick;
        ++frames;
        if (measureFrom < 0 && time >= warmup) {
            measureFrom = time;
            frames = 0;
        }
        if (measureFrom >= 0 && time - measureFrom >= span) {
            if (FILE* f = std::fopen(outPath, "w")) {
                std::fprintf(f, "fps=%.3f\n", double(frames) / ((time - measureFrom) / 1000));
                std::fclose(f);
            }
            break;
        }
        // The scene's motion: the same positions as the game scripts compute.
        const double phase = time * 0.001;
        const double w = kWidth - side, h = kHeight - side;
        float* o = v.data();
        for (int i = 1; i <= n; ++i) {
            const float x = float(std::fmod(i * 37 + phase * (40 + i % 50), w));
            const float y = float(std::fmod(i * 91 + phase * (30 + i % 70), h));
            const float x1 = x + float(side), y1 = y + float(side);
            const float q[16] = {x, y, 0, 0, x, y1, 0, 1, x1, y, 1, 0, x1, y1, 1, 1};
            for (int k = 0; k < 16; ++k) o[k] = q[k];
            o += 16;
        }
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * 4), v.data(), GL_STREAM_DRAW);
        glDrawElements(GL_TRIANGLES, n * 6, GL_UNSIGNED_INT, nullptr);
        SDL_GL_SwapWindow(window);
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
