// kv_movie_writer DIR: writes the Ogg movie fixtures into DIR.
#include <cstdio>

#include "KVOggMovieWriter.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kv_movie_writer DIR\n");
        return 2;
    }
    if (!kvtest::WriteMovieFixtures(argv[1])) {
        std::fprintf(stderr, "kv_movie_writer: cannot write the movies into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
