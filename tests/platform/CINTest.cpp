// The movie-library functions: without a backend nothing can be loaded; with
// one every call reaches it.
#include "platform/CIN.h"

#include <gtest/gtest.h>

#include "support/KVRecordingCinema.h"

namespace {

TEST(CIN, WithoutABackendNoMovieLoads) {
    ASSERT_EQ(kvl::CINGetBackend(), nullptr);
    EXPECT_EQ(CIN_Init(), 0);
    EXPECT_EQ(CIN_LoadCIN("file:///movie.ogg"), 0);
    EXPECT_EQ(CIN_Play(), 0);
    EXPECT_EQ(CIN_Stop(), 0);
}

TEST(CIN, CallsReachTheInstalledBackendUntilItIsRemoved) {
    kvtest::KVRecordingCinema cinema;
    cinema.Install();
    cinema.loadResult = 7;
    CIN_Init();
    EXPECT_EQ(CIN_LoadCIN("file:///movie.ogg"), 7);
    EXPECT_EQ(CIN_LoadCIN(nullptr), 0);
    EXPECT_EQ(CIN_Play(), 1);
    EXPECT_EQ(CIN_Stop(), 1);
    EXPECT_EQ(cinema.calls, (std::vector<std::string>{"Init", "Load file:///movie.ogg", "Play", "Stop"}));
    kvl::CINSetBackend(nullptr);
    EXPECT_EQ(CIN_LoadCIN("file:///movie.ogg"), 0);
    EXPECT_EQ(cinema.calls.size(), 4u);
}

} // namespace
