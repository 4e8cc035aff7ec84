#include "common/lz4_block.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "common/bytes.h"
#include "common/inlining.h"
#include "common/little_endian.h"
#include "common/lz4_copy.h"

namespace quellan::common {

using error::Lz4Error;

namespace {

constexpr unsigned LENGTH_IN_TOKEN_MAX = 15;  // a nibble of 15 continues in extension bytes
constexpr unsigned EXTENSION_CONTINUES = 255;
constexpr std::uint64_t MIN_MATCH = 4;
constexpr std::uint64_t UNLIMITED = std::numeric_limits<std::uint64_t>::max();

// Sinks: where the decoded bytes go. `room` is how many more they may take now.
// A sink that writes also offers its cursor, for the fast path of short sequences.
struct CheckSink {
  static constexpr bool WRITES = false;
  static std::uint64_t room() { return UNLIMITED; }
  static void literals(const unsigned char*, std::uint64_t) {}
  static void match(std::uint32_t, std::uint64_t) {}
  static char* cursor() { return nullptr; }
  static void advance(std::size_t) {}
};

// Writes into one run of memory that ends at `end`.
struct MemorySink {
  static constexpr bool WRITES = true;
  char* out;
  char* end;
  std::uint64_t room() const { return static_cast<std::uint64_t>(end - out); }
  void literals(const unsigned char* from, std::uint64_t length) {
    std::memcpy(out, from, static_cast<std::size_t>(length));
    out += length;
  }
  void match(std::uint32_t offset, std::uint64_t length) {
    lz4_detail::repeat_doubling(out, offset, length);
    out += length;
  }
  char* cursor() const { return out; }
  void advance(std::size_t length) { out += length; }
};

// How many extension bytes that continue a length lie from `from` on, before
// `end`: a word at a time, since a match that fills gigabytes is megabytes of them.
std::size_t count_continuing_bytes(const unsigned char* from, const unsigned char* end) {
  constexpr std::uint64_t ALL_CONTINUE = std::uint64_t{EXTENSION_CONTINUES} * 0x0101'0101'0101'0101;
  const unsigned char* at = from;
  while (static_cast<std::size_t>(end - at) >= WORD && load_word(reinterpret_cast<const char*>(at)) == ALL_CONTINUE) {
    at += WORD;
  }
  while (at != end && *at == EXTENSION_CONTINUES) ++at;
  return static_cast<std::size_t>(at - from);
}

// One sequence as the fast path reads it, before its rules are checked.
struct FastSequence {
  const unsigned char* literals;
  std::uint64_t literal_length;
  std::uint32_t offset;
  std::uint64_t match_length;
};

// Adds the extension bytes at `in` to `length`; false if they reach `limit`,
// from which on the general path reads them.
bool read_extension_before(const unsigned char*& in, const unsigned char* limit, std::uint64_t& length) {
  unsigned byte;
  do {
    if (in >= limit) return false;
    byte = *in++;
    length += byte;
  } while (byte == EXTENSION_CONTINUES);
  return true;
}

// The two bytes of a match's offset, the first lowest.
std::uint16_t read_offset(const unsigned char* at) {
  return load_little_endian<std::uint16_t>(reinterpret_cast<const char*>(at));
}

// Reads the sequence at `in` when its extension bytes and literals lie before
// `margin_start`, the last margin of the block, in which its offset may lie.
// A literal run whose length fits in the token always does: the sequence
// starts more than a margin before it.
// Inlined by force, which holds override_200000's table: out of line, each
// sequence would pass through memory.
QUELLAN_ALWAYS_INLINE bool read_fast_sequence(const unsigned char*& in, const unsigned char* margin_start,
                                              FastSequence& sequence) {
  static_assert(LENGTH_IN_TOKEN_MAX < lz4_detail::MARGIN);
  const unsigned token = *in++;
  sequence.literal_length = token >> 4;
  if (sequence.literal_length == LENGTH_IN_TOKEN_MAX &&
      (!read_extension_before(in, margin_start, sequence.literal_length) ||
       sequence.literal_length > static_cast<std::uint64_t>(margin_start - in))) {
    return false;
  }
  sequence.literals = in;
  sequence.offset = read_offset(in + sequence.literal_length);
  in += sequence.literal_length + 2;
  sequence.match_length = token & LENGTH_IN_TOKEN_MAX;
  const bool read = sequence.match_length != LENGTH_IN_TOKEN_MAX ||
                    read_extension_before(in, margin_start, sequence.match_length);
  sequence.match_length += MIN_MATCH;
  return read;
}

}  // namespace

namespace lz4_detail {

// Moves the bytes not yet read to the front of the input and reads the next
// piece behind them. False when the block has no more bytes; a source that
// gives fewer than asked ends the block where its bytes end.
bool Sequences::load_more() {
  if (unread_ == 0) return false;
  const std::size_t kept = size_ - at_;
  std::memmove(input_.data(), block_ + at_, kept);
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(input_.size() - kept, unread_));
  const std::size_t got = source_->fill(input_.subspan(kept, wanted));
  unread_ = got == wanted ? unread_ - got : 0;
  block_ = reinterpret_cast<const unsigned char*>(input_.data());
  at_ = 0;
  size_ = kept + got;
  return got != 0;
}

bool Sequences::has_input(std::size_t count) { return size_ - at_ >= count || (load_more() && size_ - at_ >= count); }

error::Expected<std::uint64_t, Lz4Error> Sequences::read_length(unsigned nibble) {
  std::uint64_t length = nibble;
  if (nibble != LENGTH_IN_TOKEN_MAX) return length;
  for (;;) {
    if (!has_input(1)) return std::unexpected(Lz4Error::expected_another_byte());
    const std::size_t run = count_continuing_bytes(block_ + at_, block_ + size_);
    at_ += run;
    length += std::uint64_t{EXTENSION_CONTINUES} * run;
    if (at_ != size_) return length + block_[at_++];
  }
}

error::Expected<void, Lz4Error> Sequences::read_literal_run() {
  if (!has_input(1)) return std::unexpected(Lz4Error::expected_another_byte());
  token_ = block_[at_++];
  auto length = read_length(token_ >> 4);
  if (!length) return std::unexpected(length.error());
  if (*length > input_left()) return std::unexpected(Lz4Error::literal_out_of_bounds());
  if (*length > capacity_ - produced_) {
    return std::unexpected(Lz4Error::output_too_small(capacity_, produced_ + *length));
  }
  literals_left_ = *length;
  after_literals_ = true;
  return {};
}

error::Expected<void, Lz4Error> Sequences::read_match() {
  if (!has_input(2)) {
    at_ = size_;
    unread_ = 0;
    return std::unexpected(Lz4Error::expected_another_byte());
  }
  const std::uint32_t offset = read_offset(block_ + at_);
  at_ += 2;
  auto length = read_length(token_ & LENGTH_IN_TOKEN_MAX);
  if (!length) return std::unexpected(length.error());
  *length += MIN_MATCH;
  if (offset == 0) return std::unexpected(Lz4Error::zero_offset());
  if (offset > produced_) return std::unexpected(Lz4Error::offset_outside_output());
  if (*length > capacity_ - produced_) {
    return std::unexpected(Lz4Error::output_too_small(capacity_, produced_ + *length));
  }
  match_left_ = *length;
  offset_ = offset;
  after_literals_ = false;
  return {};
}

// The fast path: whole sequences where the block and the room have a margin to
// spare, with copies in fixed moves whose overshoot the bytes that follow write
// again (the check, which writes nothing, takes the same path). A sequence is
// taken only when every rule holds; anything else (a failure, the end of the
// block, the end of the room) is left untouched to the general path, which
// reads it again and decides. The first READ_BEHIND bytes of output are the
// general path's too: the copies read that far before a match.
template <class Sink>
void Sequences::take_sequences(Sink& sink) {
  const std::uint64_t room = std::min(sink.room(), capacity_ - produced_ + MARGIN);
  if (room < MARGIN || size_ - at_ < 2 * MARGIN || produced_ < READ_BEHIND) return;
  const unsigned char* in = block_ + at_;
  // A sequence starts no later than two margins before the block's end.
  const unsigned char* const last_start = block_ + size_ - 2 * MARGIN;
  const unsigned char* const margin_start = block_ + size_ - MARGIN;
  std::uint64_t room_left = room - MARGIN;  // what the copies may fill, their overshoot aside
  char* out = sink.cursor();
  std::uint64_t produced = produced_;
  while (in <= last_start) {
    const unsigned char* const start = in;
    FastSequence sequence;
    const bool read = read_fast_sequence(in, margin_start, sequence);
    const std::uint64_t length = sequence.literal_length + sequence.match_length;
    // One compare each: an offset of 0 wraps to the largest value, so it fails
    // the reach as it should; the literals and the match must both fit.
    if (!read || std::uint64_t{sequence.offset} - 1 >= produced + sequence.literal_length || length > room_left) {
      in = start;
      break;
    }
    if constexpr (Sink::WRITES) {
      copy_literals(out, sequence.literals, sequence.literal_length);
      out += sequence.literal_length;
      copy_match(out, sequence.offset, sequence.match_length);
      out += sequence.match_length;
    }
    produced += length;
    room_left -= length;
  }
  at_ = static_cast<std::size_t>(in - block_);
  sink.advance(static_cast<std::size_t>(produced - produced_));
  produced_ = produced;
}

template <class Sink>
error::Expected<Sequences::Stop, Lz4Error> Sequences::run(Sink& sink) {
  for (;;) {
    if (literals_left_ == 0 && match_left_ == 0 && !after_literals_) take_sequences(sink);
    if (literals_left_ != 0) {
      // Only a source that failed leaves literals the block was known to hold unread.
      if (at_ == size_ && !load_more()) return std::unexpected(Lz4Error::literal_out_of_bounds());
      const std::uint64_t part = std::min({literals_left_, sink.room(), std::uint64_t{size_ - at_}});
      if (part == 0) return Stop::no_room;
      sink.literals(block_ + at_, part);
      at_ += static_cast<std::size_t>(part);
      literals_left_ -= part;
      produced_ += part;
    } else if (match_left_ != 0) {
      const std::uint64_t part = std::min(match_left_, sink.room());
      if (part == 0) return Stop::no_room;
      sink.match(offset_, part);
      match_left_ -= part;
      produced_ += part;
    } else if (after_literals_) {
      if (at_ == size_ && !load_more()) return Stop::block_ended;
      if (auto match = read_match(); !match) return std::unexpected(match.error());
    } else if (auto literals = read_literal_run(); !literals) {
      return std::unexpected(literals.error());
    }
  }
}

}  // namespace lz4_detail

error::Expected<std::uint64_t, Lz4Error> check_lz4_block(std::string_view block, std::uint64_t capacity) {
  lz4_detail::Sequences sequences(block, capacity);
  CheckSink sink;
  if (auto stop = sequences.run(sink); !stop) return std::unexpected(stop.error());
  return sequences.produced();
}

error::Expected<std::size_t, Lz4Error> decode_lz4_block(std::string_view block, std::span<char> out) {
  lz4_detail::Sequences sequences(block, out.size());
  MemorySink sink{out.data(), out.data() + out.size()};
  if (auto stop = sequences.run(sink); !stop) return std::unexpected(stop.error());
  return static_cast<std::size_t>(sequences.produced());
}

error::Expected<ByteBuffer, Lz4Error> decompress_lz4_block(std::string_view block, std::uint64_t capacity) {
  auto produced = check_lz4_block(block, capacity);
  if (!produced) return std::unexpected(produced.error());
  auto output = *produced <= std::numeric_limits<std::size_t>::max() ? ByteBuffer::zeroed(*produced) : std::nullopt;
  if (!output) return std::unexpected(Lz4Error::out_of_memory(*produced));
  // The check has passed, so decoding into exactly that much room succeeds.
  if (auto decoded = decode_lz4_block(block, output->span()); !decoded) return std::unexpected(decoded.error());
  return std::move(*output);
}

std::size_t Lz4BlockStream::window_size_for(std::uint64_t capacity, std::size_t& step) {
  step = std::clamp<std::size_t>(step, 1, std::numeric_limits<std::size_t>::max() - HISTORY_SIZE);
  // A block whose whole output fits needs no more window than that: a small
  // table costs what it decodes to.
  return static_cast<std::size_t>(std::min<std::uint64_t>(capacity, HISTORY_SIZE + std::uint64_t{step}));
}

error::Expected<Lz4BlockStream, Lz4Error> Lz4BlockStream::open(std::string_view block, std::uint64_t capacity,
                                                               std::size_t step) {
  const std::size_t window_size = window_size_for(capacity, step);
  std::unique_ptr<char[]> window(new (std::nothrow) char[window_size]);
  if (!window) return std::unexpected(Lz4Error::out_of_memory(window_size));
  return Lz4BlockStream(lz4_detail::Sequences(block, capacity), std::move(window), window_size, step);
}

error::Expected<Lz4BlockStream, Lz4Error> Lz4BlockStream::open(Lz4BlockSource& source, std::uint64_t block_size,
                                                               std::size_t input_step, std::uint64_t capacity,
                                                               std::size_t step) {
  const std::size_t window_size = window_size_for(capacity, step);
  const auto input_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(block_size, std::max<std::size_t>(input_step, 2)));
  std::unique_ptr<char[]> window(new (std::nothrow) char[window_size]);
  if (!window) return std::unexpected(Lz4Error::out_of_memory(window_size));
  std::unique_ptr<char[]> input(new (std::nothrow) char[input_size]);
  if (!input) return std::unexpected(Lz4Error::out_of_memory(input_size));
  lz4_detail::Sequences sequences(source, std::span(input.get(), input_size), block_size, capacity);
  return Lz4BlockStream(sequences, std::move(window), window_size, step, std::move(input));
}

error::Expected<lz4_detail::Sequences::Stop, Lz4Error> Lz4BlockStream::remember(
    error::Expected<lz4_detail::Sequences::Stop, Lz4Error> stop) {
  if (!stop) {
    failure_ = stop.error();
  } else if (*stop == lz4_detail::Sequences::Stop::block_ended) {
    ended_ = true;
  }
  return stop;
}

error::Expected<std::string_view, Lz4Error> Lz4BlockStream::next() {
  if (failure_) return std::unexpected(*failure_);
  if (ended_) return std::string_view();
  // Only the last HISTORY_SIZE bytes can still be reached back to. Whenever the
  // window holds more, the earlier bytes make way: after that it has room for a
  // whole step, or for all that the capacity still allows.
  if (fill_ > HISTORY_SIZE) {
    std::memmove(window_.get(), window_.get() + fill_ - HISTORY_SIZE, HISTORY_SIZE);
    fill_ = HISTORY_SIZE;
  }
  const std::size_t begin = fill_;
  MemorySink sink{window_.get() + fill_, window_.get() + std::min(window_size_, fill_ + step_)};
  auto stop = remember(sequences_.run(sink));
  fill_ = static_cast<std::size_t>(sink.out - window_.get());
  if (!stop) return std::unexpected(stop.error());
  return std::string_view(window_.get() + begin, fill_ - begin);
}

error::Expected<std::uint64_t, Lz4Error> Lz4BlockStream::check_rest() {
  if (failure_) return std::unexpected(*failure_);
  if (!ended_) {
    CheckSink sink;
    if (auto stop = remember(sequences_.run(sink)); !stop) return std::unexpected(stop.error());
  }
  return sequences_.produced();
}

}  // namespace quellan::common
