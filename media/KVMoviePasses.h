#pragma once
// Where a movie stands in its passes, for each of its sides. A pass is one
// play of the file from the loop point to its end; with "Loop" the passes
// follow one another.
//
// The sound hands out its pass's own samples, then silence up to the end of
// the picture's pass when the picture is longer, and crosses into the next
// pass first: it runs up to a second ahead of what the device has played.
// The clock is the sound as the device has played it (the sound's position,
// counted from the start of the clock's pass); it crosses into the next
// pass once it has played the bytes the sound handed out of the last. The
// picture holds its last frame until the clock is in the next pass. Without
// sound the picture times the movie, and its crossing is the clock's.
//
// Invariant: picture pass <= clock pass <= sound pass, and the sound's pass
// is the clock's plus the passes the sound has finished that the clock has
// not yet played out, whose byte lengths are queued in order. Whether there
// is a next pass is asked where a pass ends: the sound, at the end of its
// own pass, runs out instead of crossing once looping is off; the clock, at
// the end of the pass being shown, ends the movie there, whatever the sound
// read ahead of the next.
#include <cstdint>
#include <deque>

namespace kvl {

class KVMoviePasses {
public:
    // Back to the first pass, nothing handed out.
    void Reset() { *this = KVMoviePasses(); }

    // --- the sound's pass ---------------------------------------------------
    uint32_t SoundPass() const { return m_clockPass + uint32_t(m_unplayed.size()); }
    // Sample frames handed out in the sound's pass: its own, and in all
    // (silence included).
    int64_t OwnFrames() const { return m_ownFrames; }
    int64_t HandedFrames() const { return m_ownFrames + m_silentFrames; }
    void HandOutOwn(int64_t frames) { m_ownFrames += frames; }
    void HandOutSilence(int64_t frames) { m_silentFrames += frames; }
    // The stream's last sample frame in this pass (the granule position of
    // its last packet), once known; what decodes past it is not the movie's.
    void SetOwnLimit(int64_t frames) { m_ownLimit = frames; }
    bool OwnLimitKnown() const { return m_ownLimit >= 0; }
    int64_t OwnFramesLeft() const;
    // The pass's own samples are all out (silence may follow).
    void EndOwn();
    bool OwnEnded() const { return m_ownEnded; }
    int64_t OwnEndFrames() const { return m_ownEndFrames; }
    // The sound has handed out its pass whole and goes on into the next
    // (`frameBytes`: the bytes of one sample frame, as the device plays it).
    void SoundCrosses(uint32_t frameBytes);
    // There is no next pass: the sound's last sample is what it has handed
    // out of this pass so far (said once).
    void SoundRunsOut(uint32_t frameBytes);
    bool SoundRanOut() const { return m_ranOut; }

    // --- the clock ----------------------------------------------------------
    uint32_t ClockPass() const { return m_clockPass; }
    enum class ClockStep { InPass, NextPass, LastPassOver };
    // For the sound's position (bytes into the clock's pass): still in the
    // pass, past its end into the next (`length`: the bytes the position
    // goes back by), or past the end of the last pass when not looping.
    ClockStep Follow(uint32_t position, bool loop, uint32_t* length);
    // The device has played the sound to its last sample.
    bool SoundPlayedOut(uint32_t position) const;

    // --- the picture --------------------------------------------------------
    uint32_t PicturePass() const { return m_picturePass; }
    // With sound, the picture begins its next pass once the clock is in it.
    bool PictureMayCross(bool hasSound) const { return !hasSound || m_picturePass < m_clockPass; }
    void PictureCrosses(bool hasSound);
    bool PictureInSoundPass() const { return m_picturePass == SoundPass(); }

private:
    uint32_t HandedBytes(uint32_t frameBytes) const;

    uint32_t m_clockPass = 0;
    uint32_t m_picturePass = 0;
    // Byte lengths of the passes the sound finished, the clock's first.
    std::deque<uint32_t> m_unplayed;
    int64_t m_ownFrames = 0;
    int64_t m_silentFrames = 0;
    int64_t m_ownLimit = -1;
    bool m_ownEnded = false;
    int64_t m_ownEndFrames = 0;
    bool m_ranOut = false;
    uint32_t m_endBytes = 0;
};

} // namespace kvl
