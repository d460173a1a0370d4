#pragma once
// The screen side of the engine's movie player. The game's OpenGL ES context
// is lent: the thread that holds it lets it go while the game draws nothing,
// the movie's thread makes it current, draws each frame over the whole
// screen (the picture's proportions kept, black around it) and returns it
// with the GL state the game's device expects, and the lender takes it back.
#include <cstdint>
#include <vector>

#include "IKVTheoraHost.h"
#include "KVTheoraPicture.h"

namespace kvl {

class KVCinemaScreen {
public:
    KVCinemaScreen() = default;
    KVCinemaScreen(const KVCinemaScreen&) = delete;
    KVCinemaScreen& operator=(const KVCinemaScreen&) = delete;

    // On the thread that holds a context: lets it go. False when that thread
    // holds none (the movie then only keeps time).
    bool Lend();
    // On the lending thread, once the movie's thread has finished: makes the
    // context current there again.
    void TakeBack();

    // On the movie's thread: makes the lent context current, keeps the GL
    // state it changes, makes a texture of the picture's size. False when
    // nothing can be drawn.
    bool Begin(uint32_t frameWidth, uint32_t frameHeight);
    // Converts the frame's picture to 16-bit colour, draws it and shows it.
    // Pictures of another size, or frames whose planes do not hold their
    // picture, are not drawn.
    void Show(const KVTheoraFrame& frame);
    // Frees what Begin made, puts the kept state back and lets the context
    // go from the movie's thread.
    void End();

private:
    struct SavedState {
        int32_t program = 0;
        int32_t activeTexture = 0;
        int32_t texture = 0;
        int32_t arrayBuffer = 0;
        int32_t viewport[4] = {0, 0, 0, 0};
        float clearColor[4] = {0, 0, 0, 0};
        uint8_t enabled[5] = {0, 0, 0, 0, 0};
        int32_t attributeEnabled[2] = {0, 0};
    };

    void SaveState();
    void RestoreState();
    bool BuildProgram();

    // EGL handles of the lent context (kept untyped: EGL's headers bring
    // the X11 ones along).
    void* m_display = nullptr;
    void* m_context = nullptr;
    void* m_draw = nullptr;
    void* m_read = nullptr;
    bool m_current = false;

    SavedState m_saved;
    uint32_t m_program = 0;
    uint32_t m_texture = 0;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    std::vector<uint8_t> m_pixels;
    KVTheoraPicture m_picture;
};

} // namespace kvl
