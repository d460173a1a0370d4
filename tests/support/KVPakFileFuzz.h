#pragma once
// What the pak-file fuzz target runs, kept here so that tests run the same
// path over the seeds: the bytes become a file of a memory file layer under
// a pak layer, loaded the way a game loads it (LoadPakFile, or the
// descriptor through SetBasePath), then its folders are walked as the engine
// walks them (KVDirectoryWalk) and the files met opened, read whole, read
// after seeks and closed through the pak layer.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvtest {

// The first byte picks what the rest is: bit 0 clear, the pak file
// "main.kvpak" (bit 1: its entries are compressed); bit 0 set, the
// descriptor "paks.kvpakdesc", beside a stored and a compressed pak.
void KVFuzzPakFile(const uint8_t* data, size_t size);

std::vector<std::vector<uint8_t>> KVPakFileSeeds();

} // namespace kvtest
