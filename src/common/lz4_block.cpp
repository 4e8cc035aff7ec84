#include "common/lz4_block.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace quellan::common {

using error::Lz4Error;

namespace {

constexpr unsigned LENGTH_IN_TOKEN_MAX = 15;  // a nibble of 15 continues in extension bytes
constexpr unsigned EXTENSION_CONTINUES = 255;
constexpr std::uint64_t MIN_MATCH = 4;
constexpr std::uint64_t UNLIMITED = std::numeric_limits<std::uint64_t>::max();

// Repeats the `length` bytes that start `offset` back from `out`, which may
// overlap them: each copy doubles the distance, since what lies between the
// source and the output repeats with the period `offset`.
void repeat_match(char* out, std::uint32_t offset, std::uint64_t length) {
  const char* from = out - offset;
  while (length != 0) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(length, static_cast<std::size_t>(out - from)));
    std::memcpy(out, from, part);
    out += part;
    length -= part;
  }
}

// Sinks: where the decoded bytes go. `room` is how many more they may take now.
struct CheckSink {
  static std::uint64_t room() { return UNLIMITED; }
  static void literals(const unsigned char*, std::uint64_t) {}
  static void match(std::uint32_t, std::uint64_t) {}
};

// A buffer of the capacity itself: the sequences never ask for more than it holds.
struct BufferSink {
  char* out;
  static std::uint64_t room() { return UNLIMITED; }
  void literals(const unsigned char* from, std::uint64_t length) {
    std::memcpy(out, from, static_cast<std::size_t>(length));
    out += length;
  }
  void match(std::uint32_t offset, std::uint64_t length) {
    repeat_match(out, offset, length);
    out += length;
  }
};

// The window of a stream: the room ends where the current piece must end.
struct WindowSink {
  char* window;
  std::size_t fill;
  std::size_t end;
  std::uint64_t room() const { return end - fill; }
  void literals(const unsigned char* from, std::uint64_t length) {
    std::memcpy(window + fill, from, static_cast<std::size_t>(length));
    fill += static_cast<std::size_t>(length);
  }
  void match(std::uint32_t offset, std::uint64_t length) {
    repeat_match(window + fill, offset, length);
    fill += static_cast<std::size_t>(length);
  }
};

}  // namespace

namespace lz4_detail {

error::Expected<std::uint64_t, Lz4Error> Sequences::read_length(unsigned nibble) {
  std::uint64_t length = nibble;
  if (nibble != LENGTH_IN_TOKEN_MAX) return length;
  unsigned byte;
  do {
    if (at_ == size_) return std::unexpected(Lz4Error::expected_another_byte());
    byte = block_[at_++];
    length += byte;
  } while (byte == EXTENSION_CONTINUES);
  return length;
}

error::Expected<void, Lz4Error> Sequences::read_literal_run() {
  if (at_ == size_) return std::unexpected(Lz4Error::expected_another_byte());
  token_ = block_[at_++];
  auto length = read_length(token_ >> 4);
  if (!length) return std::unexpected(length.error());
  if (*length > size_ - at_) return std::unexpected(Lz4Error::literal_out_of_bounds());
  if (*length > capacity_ - produced_) return std::unexpected(Lz4Error::output_too_small(capacity_, produced_ + *length));
  literals_left_ = *length;
  after_literals_ = true;
  return {};
}

error::Expected<void, Lz4Error> Sequences::read_match() {
  if (size_ - at_ < 2) {
    at_ = size_;
    return std::unexpected(Lz4Error::expected_another_byte());
  }
  const auto offset = static_cast<std::uint32_t>(block_[at_] | (block_[at_ + 1] << 8));
  at_ += 2;
  auto length = read_length(token_ & LENGTH_IN_TOKEN_MAX);
  if (!length) return std::unexpected(length.error());
  *length += MIN_MATCH;
  if (offset == 0) return std::unexpected(Lz4Error::zero_offset());
  if (offset > produced_) return std::unexpected(Lz4Error::offset_outside_output());
  if (*length > capacity_ - produced_) return std::unexpected(Lz4Error::output_too_small(capacity_, produced_ + *length));
  match_left_ = *length;
  offset_ = offset;
  after_literals_ = false;
  return {};
}

template <class Sink>
error::Expected<Sequences::Stop, Lz4Error> Sequences::run(Sink& sink) {
  for (;;) {
    if (literals_left_ != 0) {
      const std::uint64_t part = std::min(literals_left_, sink.room());
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
      if (at_ == size_) return Stop::block_ended;
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
  BufferSink sink{out.data()};
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

error::Expected<Lz4BlockStream, Lz4Error> Lz4BlockStream::open(std::string_view block, std::uint64_t capacity,
                                                               std::size_t step) {
  step = std::clamp<std::size_t>(step, 1, std::numeric_limits<std::size_t>::max() - HISTORY_SIZE);
  // A block whose whole output fits needs no more window than that: a small
  // table costs what it decodes to.
  const std::size_t window_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(capacity, HISTORY_SIZE + std::uint64_t{step}));
  std::unique_ptr<char[]> window(new (std::nothrow) char[window_size]);
  if (!window) return std::unexpected(Lz4Error::out_of_memory(window_size));
  return Lz4BlockStream(lz4_detail::Sequences(block, capacity), std::move(window), window_size, step);
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
  WindowSink sink{window_.get(), fill_, std::min(window_size_, fill_ + step_)};
  auto stop = remember(sequences_.run(sink));
  fill_ = sink.fill;
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
