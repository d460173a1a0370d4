#pragma once
// The sound a movie's track plays through, for the movie unit and the
// full-screen player alike: a buffer sound of the sound manager holding one
// second of the track's format, fed by the movie as its data provider.
#include <cstdint>

#include "IKVSound.h"

namespace kvl {

class IKVSoundManager;

// The sound at `volume`, fed by `provider` (which may be pulled at once);
// null when the manager cannot make it (the device plays 44100 Hz stereo
// only).
IKVSound* CreateMovieSound(IKVSoundManager* manager, uint32_t rate, uint32_t channels, float volume,
                           IKVSoundDataProvider* provider);
// Stops the sound, ends its feeding and lets it go; *sound is null first,
// so the provider is no longer asked through it.
void ReleaseMovieSound(IKVSound** sound);

} // namespace kvl
