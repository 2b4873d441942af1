#include "parallelvorbis.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ogg/ogg.h>
#include <random>
#include <vorbis/vorbisenc.h>

namespace {
// The quality libsndfile writes Ogg Vorbis at, so files stay as they were.
constexpr float kQuality = 0.4F;
// Samples held back from the encoders, so a cut can still go into a pause
// the voice has just finished.
constexpr int kHeldSeconds = 2;
// What counts as silent: espeak-ng pauses in zeros, Flite and Festival in a
// faint hiss (-48 dBFS).
constexpr int kQuietLevel = 128;

// One Vorbis encoder: its settings, state and headers.
struct Encoder {
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    bool ready = false;
    ogg_packet headers[3]{};

    Encoder(int rate, const std::vector<std::pair<std::string, std::string>> &comments) {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
        for (const auto &[name, value] : comments)
            vorbis_comment_add_tag(&comment, name.c_str(), value.c_str());
        if (vorbis_encode_init_vbr(&info, 1, rate, kQuality) != 0)
            return;
        vorbis_analysis_init(&dsp, &info);
        vorbis_block_init(&dsp, &block);
        vorbis_analysis_headerout(&dsp, &comment, &headers[0], &headers[1], &headers[2]);
        ready = true;
    }
    ~Encoder() {
        if (ready) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;

    static std::vector<unsigned char> Bytes(const ogg_packet &p) {
        return {p.packet, p.packet + p.bytes};
    }
    // Encodes `count` samples (none: the end) and appends the packets made.
    template <typename Packet>
    void Encode(const std::int16_t *samples, std::size_t count, std::vector<Packet> &out) {
        if (count > 0) {
            float *buffer = vorbis_analysis_buffer(&dsp, int(count))[0];
            for (std::size_t i = 0; i < count; ++i)
                buffer[i] = float(samples[i]) / 32768.0F;
        }
        vorbis_analysis_wrote(&dsp, int(count));
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1)
                out.push_back({Bytes(packet), vorbis_packet_blocksize(&info, &packet)});
        }
    }
};
} // namespace

VorbisJoin JoinVorbisPiece(std::int64_t granule, long block, const std::vector<long> &blocks,
                           std::int64_t quiet, std::int64_t start) {
    VorbisJoin best;
    std::int64_t own = 0; // the piece's own granule of packet i
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0) {
            own += blocks[i - 1] / 4 + blocks[i] / 4;
            if (own > quiet)
                break;
        }
        const std::int64_t next = granule + block / 4 + blocks[i] / 4;
        const std::int64_t offset = next - own;
        if (i == 0 || std::llabs(offset - start) < std::llabs(best.offset - start))
            best = {i, offset, next};
    }
    return best;
}

struct ParallelVorbis::Stream {
    ogg_stream_state state{};
    std::int64_t packetNo = 0;
};

ParallelVorbis::ParallelVorbis(int sampleRate, int threads,
                               const std::vector<std::pair<std::string, std::string>> &comments,
                               Sink sink, std::size_t pieceSamples)
    : sampleRate_(sampleRate), pieceSamples_(threads > 1 ? pieceSamples : SIZE_MAX),
      sink_(std::move(sink)), stream_(std::make_unique<Stream>()) {
    std::random_device random;
    ogg_stream_init(&stream_->state, int(random() & 0x7fffffff));
    Encoder headers(sampleRate, comments);
    if (!headers.ready) {
        error_ = "the Vorbis encoder does not take " + std::to_string(sampleRate) + " Hz";
        return;
    }
    identification_ = Encoder::Bytes(headers.headers[0]);
    setup_ = Encoder::Bytes(headers.headers[2]);
    // A long block of silence either side holds the blocks that overlap at
    // the join and what the next piece's start may give up.
    quietEachSide_ = vorbis_info_blocksize(&headers.info, 1);
    // The first page holds the identification alone; audio starts a page of its own.
    for (ogg_packet &packet : headers.headers) {
        packet.packetno = stream_->packetNo++;
        ogg_stream_packetin(&stream_->state, &packet);
        if (&packet == &headers.headers[0] || &packet == &headers.headers[2])
            if (!Flush(true)) {
                error_ = "cannot write";
                return;
            }
    }
    // A few pieces a thread waiting, enough to keep every one busy.
    const std::size_t queued =
        threads > 1 ? std::size_t(threads + 1) * pieceSamples : std::size_t(sampleRate) * 5;
    most_ = queued;
    pieces_.push_back(std::make_shared<Piece>());
    starts_.push_back({0, std::nullopt});
    for (int i = 0; i < std::max(1, threads); ++i)
        threads_.emplace_back([this] { Encode(); });
}

ParallelVorbis::~ParallelVorbis() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    for (std::thread &thread : threads_)
        thread.join();
    ogg_stream_clear(&stream_->state);
}

void ParallelVorbis::Encode() {
    for (;;) {
        std::shared_ptr<Piece> piece;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [&] {
                if (stop_)
                    return true;
                for (const auto &p : pieces_)
                    if (!p->taken)
                        return true;
                return false;
            });
            if (stop_)
                return;
            for (const auto &p : pieces_)
                if (!p->taken) {
                    piece = p;
                    break;
                }
            piece->taken = true;
        }
        Encoder encoder(sampleRate_, {});
        std::vector<Packet> made;
        // Same settings, same headers: only then may the pieces share one stream.
        std::string fault;
        if (!encoder.ready || Encoder::Bytes(encoder.headers[0]) != identification_ ||
            Encoder::Bytes(encoder.headers[2]) != setup_)
            fault = "the Vorbis encoder gave different headers on another thread";
        for (bool end = !fault.empty(); !end;) {
            std::vector<std::int16_t> samples;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stop_ || !piece->input.empty() || piece->closed; });
                if (stop_)
                    return;
                if (!piece->input.empty()) {
                    samples = std::move(piece->input.front());
                    piece->input.pop_front();
                    waiting_ -= samples.size();
                } else {
                    end = true;
                }
            }
            made_.notify_all();
            made.clear();
            encoder.Encode(samples.data(), end ? 0 : samples.size(), made);
            std::lock_guard lock(mutex_);
            for (Packet &packet : made)
                piece->packets.push_back(std::move(packet));
        }
        {
            std::lock_guard lock(mutex_);
            piece->encoded = true;
            piece->fault = fault;
            faulted_ = faulted_ || !fault.empty();
        }
        made_.notify_all();
    }
}

void ParallelVorbis::Hand(std::uint64_t end) {
    end = std::min(end, written_);
    if (end <= heldFrom_)
        return;
    const std::size_t count = std::size_t(end - heldFrom_);
    std::vector<std::int16_t> chunk(held_.begin(), held_.begin() + std::ptrdiff_t(count));
    held_.erase(held_.begin(), held_.begin() + std::ptrdiff_t(count));
    heldFrom_ += count;
    {
        std::lock_guard lock(mutex_);
        pieces_.back()->length += count;
        pieces_.back()->input.push_back(std::move(chunk));
        waiting_ += count;
    }
    work_.notify_all();
}

void ParallelVorbis::Cut(std::uint64_t at, std::int64_t quiet) {
    Hand(at);
    auto piece = std::make_shared<Piece>();
    piece->start = at;
    piece->quiet = quiet;
    piece->index = starts_.size();
    starts_.push_back({at, std::nullopt});
    {
        std::lock_guard lock(mutex_);
        pieces_.back()->closed = true;
        pieces_.push_back(std::move(piece));
    }
    work_.notify_all();
}

bool ParallelVorbis::Write(const std::int16_t *samples, std::size_t count) {
    if (failed_ || !error_.empty())
        return false;
    held_.insert(held_.end(), samples, samples + count);
    written_ += count;
    const std::uint64_t hold = std::uint64_t(sampleRate_) * kHeldSeconds;
    if (written_ > heldFrom_ + hold)
        Hand(written_ - hold);
    {
        std::unique_lock lock(mutex_);
        made_.wait(lock, [&] { return waiting_ <= most_ || faulted_; });
    }
    return Mux(false);
}

void ParallelVorbis::Pause(std::uint64_t after, std::uint64_t at) {
    const Piece &piece = *pieces_.back();
    if (at <= piece.start || at - piece.start < pieceSamples_ || at > written_ || at <= heldFrom_)
        return;
    // The longest silence between the two, among the samples still held.
    const std::uint64_t from = std::max(after, heldFrom_);
    std::uint64_t best = 0, bestLength = 0, run = 0;
    for (std::uint64_t i = from; i < at; ++i) {
        run = std::abs(held_[std::size_t(i - heldFrom_)]) <= kQuietLevel ? run + 1 : 0;
        if (run > bestLength) {
            bestLength = run;
            best = i + 1 - run;
        }
    }
    if (bestLength < 2 * std::uint64_t(quietEachSide_))
        return;
    const std::uint64_t middle = best + bestLength / 2;
    Cut(middle, std::int64_t(best + bestLength - middle));
}

std::optional<std::uint64_t> ParallelVorbis::Place(std::uint64_t sample) const {
    auto after =
        std::upper_bound(starts_.begin(), starts_.end(), sample,
                         [](std::uint64_t s, const auto &start) { return s < start.first; });
    if (after == starts_.begin() || !std::prev(after)->second)
        return std::nullopt;
    return std::uint64_t(
        std::max<std::int64_t>(0, std::int64_t(sample) + *std::prev(after)->second));
}

bool ParallelVorbis::Flush(bool all) {
    ogg_page page;
    while (all ? ogg_stream_flush(&stream_->state, &page) != 0
               : ogg_stream_pageout(&stream_->state, &page) != 0)
        if (!sink_(page.header, std::size_t(page.header_len)) ||
            !sink_(page.body, std::size_t(page.body_len)))
            return false;
    return true;
}

bool ParallelVorbis::Put(const Packet &packet, std::int64_t granule, bool last) {
    ogg_packet op{};
    op.packet = const_cast<unsigned char *>(packet.bytes.data());
    op.bytes = long(packet.bytes.size());
    op.e_o_s = last ? 1 : 0;
    op.granulepos = granule;
    op.packetno = stream_->packetNo++;
    if (ogg_stream_packetin(&stream_->state, &op) != 0)
        return false;
    return Flush(last);
}

bool ParallelVorbis::Mux(bool wait) {
    for (;;) {
        std::unique_lock lock(mutex_);
        if (pieces_.empty())
            return true;
        const std::shared_ptr<Piece> piece = pieces_.front();
        if (!piece->fault.empty()) {
            error_ = piece->fault;
            return false;
        }
        if (!piece->offset) {
            // Placed once enough of its start is known to choose where it joins.
            std::vector<long> blocks;
            std::int64_t own = 0;
            bool enough = piece->encoded;
            for (const Packet &packet : piece->packets) {
                if (!blocks.empty())
                    own += blocks.back() / 4 + packet.block / 4;
                blocks.push_back(packet.block);
                if (own > piece->quiet) {
                    enough = true;
                    break;
                }
            }
            if (enough && !blocks.empty()) {
                VorbisJoin join;
                if (granule_ < 0) {
                    join.granule = 0; // the stream's first packet
                } else {
                    join = JoinVorbisPiece(granule_, block_, blocks, piece->quiet,
                                           std::int64_t(piece->start));
                    // Block sizes carry on from the last packet kept.
                }
                own = 0;
                for (std::size_t i = 1; i <= join.drop; ++i)
                    own += blocks[i - 1] / 4 + blocks[i] / 4;
                piece->packets.erase(piece->packets.begin(),
                                     piece->packets.begin() + std::ptrdiff_t(join.drop));
                piece->offset = join.granule - own;
                piece->center = own;
                piece->lastBlock = 0;
                starts_[piece->index].second = *piece->offset - std::int64_t(piece->start);
            } else if (piece->encoded) {
                // Nothing at all came of it: an empty stream.
                piece->offset = std::int64_t(piece->start);
                starts_[piece->index].second = 0;
            }
        }
        if (piece->offset) {
            std::vector<Packet> packets = std::move(piece->packets);
            piece->packets.clear();
            const bool closed = piece->closed, encoded = piece->encoded;
            const std::int64_t length = std::int64_t(piece->length);
            lock.unlock();
            for (Packet &packet : packets) {
                // Past the piece's end, a packet only holds the encoder's padding.
                const std::int64_t before = piece->center;
                if (piece->lastBlock != 0) {
                    piece->center += piece->lastBlock / 4 + packet.block / 4;
                    if (closed && before >= length) {
                        piece->lastBlock = packet.block;
                        continue;
                    }
                }
                piece->lastBlock = packet.block;
                const std::int64_t granule =
                    granule_ < 0 ? 0 : granule_ + block_ / 4 + packet.block / 4;
                if (pending_ && !Put(*pending_, pendingGranule_, false)) {
                    failed_ = true;
                    return false;
                }
                granule_ = granule;
                block_ = packet.block;
                pending_ = std::move(packet);
                pendingGranule_ = granule;
            }
            if (closed && encoded) {
                lock.lock();
                if (piece->packets.empty()) {
                    length_ = std::uint64_t(*piece->offset + length);
                    pieces_.pop_front();
                    continue;
                }
                lock.unlock();
            }
            if (!packets.empty())
                continue;
        }
        if (!wait)
            return true;
        if (!lock.owns_lock())
            lock.lock();
        const std::size_t seen = piece->packets.size();
        made_.wait(lock, [&] {
            return piece->packets.size() > seen || piece->encoded || !piece->fault.empty();
        });
    }
}

bool ParallelVorbis::Finish() {
    if (failed_ || !error_.empty())
        return false;
    Hand(written_);
    {
        std::lock_guard lock(mutex_);
        pieces_.back()->closed = true;
    }
    work_.notify_all();
    if (!Mux(true))
        return false;
    // The last page's granule position ends the stream where the input did.
    if (pending_ && !Put(*pending_, std::int64_t(length_), true))
        return (failed_ = true, false);
    pending_.reset();
    return Flush(true) || (failed_ = true, false);
}
