#pragma once
// A movie-library backend that records the calls it gets ("Init",
// "Load file:///...", "Play", "Stop") and answers Load with a settable
// result. Install() puts it behind the platform's movie functions until it
// is destroyed; EndMovie() queues the SDL event of type 0 a movie's end sends.
#include <string>
#include <vector>

#include "platform/CIN.h"

namespace kvtest {

class KVRecordingCinema : public kvl::IKVCinemaBackend {
public:
    ~KVRecordingCinema();
    void Install();

    int Init() override;
    int Load(const char* url) override;
    int Play() override;
    int Stop() override;

    // Queues the end of the movie; false when SDL's queue refused it.
    static bool EndMovie();

    int loadResult = 1;
    std::vector<std::string> calls;
};

} // namespace kvtest
