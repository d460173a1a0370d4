#include "KVMoviePasses.h"

#include <algorithm>
#include <climits>

namespace kvl {

int64_t KVMoviePasses::OwnFramesLeft() const {
    return m_ownLimit < 0 ? INT64_MAX : std::max<int64_t>(m_ownLimit - m_ownFrames, 0);
}

void KVMoviePasses::EndOwn() {
    m_ownEnded = true;
    m_ownEndFrames = HandedFrames();
}

uint32_t KVMoviePasses::HandedBytes(uint32_t frameBytes) const {
    const uint64_t bytes = uint64_t(std::max<int64_t>(HandedFrames(), 0)) * frameBytes;
    return uint32_t(std::min<uint64_t>(bytes, UINT32_MAX));
}

void KVMoviePasses::SoundCrosses(uint32_t frameBytes) {
    m_unplayed.push_back(HandedBytes(frameBytes));
    m_ownFrames = m_silentFrames = 0;
    m_ownLimit = -1;
    m_ownEnded = false;
    m_ownEndFrames = 0;
}

void KVMoviePasses::SoundRunsOut(uint32_t frameBytes) {
    if (m_ranOut) return;
    m_ranOut = true;
    m_endBytes = HandedBytes(frameBytes);
}

KVMoviePasses::ClockStep KVMoviePasses::Follow(uint32_t position, bool loop, uint32_t* length) {
    if (m_unplayed.empty() || position < m_unplayed.front()) return ClockStep::InPass;
    if (!loop) return ClockStep::LastPassOver;
    if (length) *length = m_unplayed.front();
    m_unplayed.pop_front();
    ++m_clockPass;
    return ClockStep::NextPass;
}

bool KVMoviePasses::SoundPlayedOut(uint32_t position) const {
    return m_ranOut && m_unplayed.empty() && position >= m_endBytes;
}

void KVMoviePasses::PictureCrosses(bool hasSound) {
    ++m_picturePass;
    if (!hasSound) m_clockPass = m_picturePass;
}

} // namespace kvl
