#pragma once
// The ways a conversion can fail. The core throws these; only the command line
// turns them into words and an exit status.

namespace halvorine {

// The input is not a WAV file we can convert. `stage` tells which step of the
// header or chunk walk gave up; it is printed to the user as is.
struct HeaderError {
    int stage;
};

// Not every byte reached the output.
struct WriteFailure {};

// The input could not be read for a reason other than its end (an I/O error)
// while the sample data was being widened.
struct ReadFailure {};

}  // namespace halvorine
