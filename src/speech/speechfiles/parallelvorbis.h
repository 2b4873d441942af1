#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Where a piece encoded on its own joins the stream before it. The decoder
// overlaps the last block kept with the piece's first block kept; both lie in
// the pause the piece was cut in, so dropping a few leading blocks of that
// silence brings the piece back to where it began in the input.
struct VorbisJoin {
    std::size_t drop = 0;     // leading packets of the piece left out
    std::int64_t offset = 0;  // the stream's sample of the piece's first sample
    std::int64_t granule = 0; // the stream's granule of the first packet kept
};
// `granule` and `block`: the stream's last packet so far; `blocks`: the
// piece's packets' block sizes, as many as are known; `quiet`: silent samples
// it begins with; `start`: where it begins in the input. Leaves out only
// packets whose audio ends in that silence, keeps the offset nearest `start`.
VorbisJoin JoinVorbisPiece(std::int64_t granule, long block, const std::vector<long> &blocks,
                           std::int64_t quiet, std::int64_t start);

// Ogg Vorbis, one ordinary logical stream, encoded on several threads. The
// samples are cut into pieces in the pauses between sentences; each piece is
// encoded whole by one thread with the same settings (so the same headers),
// and one muxer, on the caller's thread, puts the pieces' packets in order
// into the one stream, with granule positions counted afresh. A sample of the
// input is heard at Place(sample) of the output. Memory stays bounded: Write
// waits while a few pieces per thread are waiting to be encoded. Used from
// one thread; the destructor stops every encoder at once.
class ParallelVorbis {
public:
    // Writes the file's bytes; false when they could not be written.
    using Sink = std::function<bool(const unsigned char *, std::size_t)>;

    // Vorbis comments (name, value) are written in the stream's header.
    // `pieceSamples` is how long a piece grows before it is cut at the next
    // pause; with one thread the stream is never cut.
    ParallelVorbis(int sampleRate, int threads,
                   const std::vector<std::pair<std::string, std::string>> &comments, Sink sink,
                   std::size_t pieceSamples);
    ~ParallelVorbis();
    ParallelVorbis(const ParallelVorbis &) = delete;
    ParallelVorbis &operator=(const ParallelVorbis &) = delete;

    // Empty when the encoder is ready, otherwise why not.
    const std::string &Error() const { return error_; }

    // Appends samples. False when the file could not be written.
    bool Write(const std::int16_t *samples, std::size_t count);
    // A sentence begins at input sample `at`; the one before began at `after`.
    // Once the piece under way is long enough it is cut in the middle of the
    // silence between them, when there is enough of it.
    void Pause(std::uint64_t after, std::uint64_t at);
    // The output sample where input sample `sample` is heard, once the muxer
    // has placed the piece holding it.
    std::optional<std::uint64_t> Place(std::uint64_t sample) const;
    // Encodes what is left and writes the end of the stream. False when the
    // file could not be written.
    bool Finish();
    // The samples in the finished stream.
    std::uint64_t Length() const { return length_; }

private:
    struct Packet {
        std::vector<unsigned char> bytes;
        long block = 0;
    };
    struct Piece {
        std::size_t index = 0;    // among all pieces
        std::uint64_t start = 0;  // input sample it begins with
        std::uint64_t length = 0; // input samples handed to it so far
        std::int64_t quiet = 0;   // silent samples it begins with
        bool closed = false;      // every sample handed
        bool taken = false;       // an encoder has it
        bool encoded = false;     // every packet made
        std::deque<std::vector<std::int16_t>> input;
        std::vector<Packet> packets; // made, not yet muxed
        std::string fault;           // the encoder's
        // Muxer's: where it is heard, once placed.
        std::optional<std::int64_t> offset;
        std::int64_t center = 0; // the piece's own granule of the last packet muxed
        long lastBlock = 0;
    };

    void Encode();
    // Hands the samples held back, up to input sample `end`, to the piece under way.
    void Hand(std::uint64_t end);
    // Starts a new piece at input sample `at`, `quiet` samples into a pause.
    void Cut(std::uint64_t at, std::int64_t quiet);
    // Muxes what the encoders have made; with `wait`, until everything is.
    bool Mux(bool wait);
    bool Put(const Packet &packet, std::int64_t granule, bool last);
    bool Flush(bool all);

    int sampleRate_;
    std::size_t pieceSamples_;
    Sink sink_;
    std::string error_;
    std::vector<unsigned char> identification_, setup_;
    struct Stream;
    std::unique_ptr<Stream> stream_;

    mutable std::mutex mutex_;
    std::condition_variable work_;              // encoders: input or a piece to take
    std::condition_variable made_;              // the writer: packets made or input taken
    std::deque<std::shared_ptr<Piece>> pieces_; // not yet wholly muxed, in order
    std::size_t waiting_ = 0;                   // input samples not yet taken
    std::size_t most_ = 0;                      // Write waits above this
    bool stop_ = false;
    bool faulted_ = false; // an encoder gave up
    std::vector<std::thread> threads_;

    // The writer's own.
    std::vector<std::int16_t> held_; // input not yet handed, from `heldFrom_`
    std::uint64_t heldFrom_ = 0;
    std::uint64_t written_ = 0; // input samples written
    // Every piece's start, and once placed, how far its samples move.
    std::vector<std::pair<std::uint64_t, std::optional<std::int64_t>>> starts_;
    int quietEachSide_ = 0;     // silent samples a cut needs either side
    std::int64_t granule_ = -1; // the stream's last packet's; -1 before the first
    long block_ = 0;
    std::optional<Packet> pending_; // held back: the last one takes the end
    std::int64_t pendingGranule_ = 0;
    std::uint64_t length_ = 0;
    bool failed_ = false;
};
