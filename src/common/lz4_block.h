#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/byte_buffer.h"
#include "error/expected.h"
#include "error/lz4_error.h"

// One LZ4 block (block format: no frame, no checksum), decoded by one set of
// rules in three forms: into a buffer, as a check that writes nothing, and as a
// stream through a window. A block is a run of sequences: a token, a literal run
// and, unless the block ends right after the literals, a 2-byte offset and a
// match. It decodes exactly when it ends right after a literal run. Where one
// sequence breaks two rules the first check wins: for a literal run, reaching
// past the block, then past the capacity; for a match, whose offset and length
// bytes are read first, offset 0, then reaching before the output, then past
// the capacity. The forms agree on every block, failures included.

namespace quellan::common {

/// Where a block read in pieces comes from: each call hands over the block's
/// next bytes into `out`, all of them; fewer end the block there, and the
/// source keeps the reason to report it ahead of what the decoder made of the
/// cut block.
class Lz4BlockSource {
 public:
  virtual std::size_t fill(std::span<char> out) = 0;

 protected:
  ~Lz4BlockSource() = default;
};

namespace lz4_detail {

/// Where a walk through a block's sequences stands, so that it can stop when
/// its output has no room and go on later, even in the middle of a copy.
class Sequences {
 public:
  Sequences(std::string_view block, std::uint64_t capacity)
      : block_(reinterpret_cast<const unsigned char*>(block.data())), size_(block.size()), capacity_(capacity) {}
  /// A block of `block_size` bytes read from `source` into `input`, which holds
  /// at least 2 bytes unless the block is shorter.
  Sequences(Lz4BlockSource& source, std::span<char> input, std::uint64_t block_size, std::uint64_t capacity)
      : block_(reinterpret_cast<const unsigned char*>(input.data())),
        size_(0),
        capacity_(capacity),
        source_(&source),
        input_(input),
        unread_(block_size) {}

  enum class Stop { no_room, block_ended };

  /// Decodes into `sink` until it has no room or the block ends. Defined for
  /// the sinks of lz4_block.cpp only.
  template <class Sink>
  error::Expected<Stop, error::Lz4Error> run(Sink& sink);

  std::uint64_t produced() const { return produced_; }

 private:
  error::Expected<void, error::Lz4Error> read_literal_run();
  error::Expected<void, error::Lz4Error> read_match();
  error::Expected<std::uint64_t, error::Lz4Error> read_length(unsigned nibble);
  template <class Sink>
  void take_sequences(Sink& sink);
  bool load_more();
  bool has_input(std::size_t count);
  std::uint64_t input_left() const { return size_ - at_ + unread_; }

  const unsigned char* block_;
  std::size_t size_;
  std::size_t at_ = 0;
  std::uint64_t capacity_;
  std::uint64_t produced_ = 0;
  // The copy under way: literal bytes still to take from the block, or match
  // bytes still to repeat from `offset_` back.
  std::uint64_t literals_left_ = 0;
  std::uint64_t match_left_ = 0;
  std::uint32_t offset_ = 0;
  unsigned char token_ = 0;
  bool after_literals_ = false;
  // A block read in pieces: `block_` and `size_` are the piece in `input_`, and
  // `unread_` the bytes of the block still with the source.
  Lz4BlockSource* source_ = nullptr;
  std::span<char> input_;
  std::uint64_t unread_ = 0;
};

}  // namespace lz4_detail

/// How many bytes `block` decodes to with room for `capacity`, or why it does
/// not decode. Writes nothing and holds nothing: O(block size) time, O(1) memory,
/// whatever the block expands to.
error::Expected<std::uint64_t, error::Lz4Error> check_lz4_block(std::string_view block, std::uint64_t capacity);

/// Decodes `block` into `out`, whose size is the capacity; the result is the
/// number of bytes produced, at the front of `out`.
error::Expected<std::size_t, error::Lz4Error> decode_lz4_block(std::string_view block, std::span<char> out);

/// Decodes `block` into a new zero-filled buffer holding exactly the bytes it
/// produced, at most `capacity`. `capacity` comes from the package and is not
/// trusted: the block is checked first, and memory is set aside only for what
/// it really produces.
error::Expected<ByteBuffer, error::Lz4Error> decompress_lz4_block(std::string_view block, std::uint64_t capacity);

/// Decodes `block` piece by piece through a window that holds the 64 KiB a
/// match may reach back plus one step, so that memory does not follow what the
/// block expands to. Each piece is `step` bytes, the last one excepted.
class Lz4BlockStream {
 public:
  /// The farthest back a match can reach: its offset has two bytes.
  static constexpr std::size_t HISTORY_SIZE = std::size_t{1} << 16;

  /// A stream of at most `capacity` bytes in pieces of `step` (at least 1)
  /// bytes; fails when no memory can be had for its window.
  static error::Expected<Lz4BlockStream, error::Lz4Error> open(std::string_view block, std::uint64_t capacity,
                                                               std::size_t step);

  /// The same for a block of `block_size` bytes that `source`, which must
  /// outlive the stream, hands over in pieces of `input_step` (at least 2) bytes
  /// as the decoder reaches them: the block is never held whole.
  static error::Expected<Lz4BlockStream, error::Lz4Error> open(Lz4BlockSource& source, std::uint64_t block_size,
                                                               std::size_t input_step, std::uint64_t capacity,
                                                               std::size_t step);

  /// The next piece, valid until the next call. Once the block has ended well,
  /// `ended()` is true and further pieces are empty; a failure repeats.
  error::Expected<std::string_view, error::Lz4Error> next();

  /// Decodes the rest of the block without output, as `check_lz4_block` does,
  /// and gives the number of bytes the whole block produces.
  error::Expected<std::uint64_t, error::Lz4Error> check_rest();

  bool ended() const { return ended_; }
  std::uint64_t produced() const { return sequences_.produced(); }

 private:
  Lz4BlockStream(lz4_detail::Sequences sequences, std::unique_ptr<char[]> window, std::size_t window_size,
                 std::size_t step, std::unique_ptr<char[]> input = nullptr)
      : sequences_(sequences),
        window_(std::move(window)),
        window_size_(window_size),
        step_(step),
        input_(std::move(input)) {}
  static std::size_t window_size_for(std::uint64_t capacity, std::size_t& step);

  error::Expected<lz4_detail::Sequences::Stop, error::Lz4Error> remember(
      error::Expected<lz4_detail::Sequences::Stop, error::Lz4Error> stop);

  lz4_detail::Sequences sequences_;
  std::unique_ptr<char[]> window_;
  std::size_t window_size_;
  std::size_t step_;
  std::size_t fill_ = 0;
  bool ended_ = false;
  std::optional<error::Lz4Error> failure_;
  std::unique_ptr<char[]> input_;  // the piece of the block read in pieces
};

}  // namespace quellan::common
