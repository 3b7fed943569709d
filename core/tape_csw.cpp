#include "tape_csw.h"

#include <climits>

namespace tapeloom {

CswPulses::CswPulses(std::span<const std::uint8_t> data, bool compressed)
    : compressed_(compressed) {
    if (!compressed) {
        cursor_ = data.data();
        end_ = data.data() + data.size();
        return;
    }
    // zlib takes a non-const pointer but only reads the input.
    stream_.next_in = const_cast<Bytef*>(data.data());
    stream_.avail_in = data.size() > UINT_MAX ? UINT_MAX : static_cast<uInt>(data.size());
    if (inflateInit(&stream_) != Z_OK) {
        streamEnded_ = true;
        error_ = "zlib cannot start";
    }
    cursor_ = end_ = buffer_.data();
}

CswPulses::~CswPulses() {
    if (compressed_)
        inflateEnd(&stream_);
}

bool CswPulses::refill() {
    if (!compressed_)
        return false;
    // inflate may take input without giving output yet; it says so by Z_OK.
    while (!streamEnded_) {
        stream_.next_out = buffer_.data();
        stream_.avail_out = static_cast<uInt>(buffer_.size());
        int status = inflate(&stream_, Z_NO_FLUSH);
        std::size_t produced = buffer_.size() - stream_.avail_out;
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK) {
            streamEnded_ = true;
            if (status == Z_BUF_ERROR)
                error_ = "the compressed data ends early";
            else
                error_ = std::string("the compressed data is damaged (") +
                         (stream_.msg != nullptr ? stream_.msg : "zlib error") + ")";
        }
        if (produced != 0) {
            cursor_ = buffer_.data();
            end_ = buffer_.data() + produced;
            return true;
        }
    }
    return false;
}

CswPulses::Result CswPulses::nextSlow(std::uint32_t& samples) {
    int first = nextByte();
    if (first < 0)
        return error_.empty() ? Result::End : Result::Damaged;
    if (first != 0) {
        samples = static_cast<std::uint32_t>(first);
        return Result::Pulse;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        int byte = nextByte();
        if (byte < 0) {
            if (error_.empty())
                error_ = "the data ends inside the length of a long pulse";
            return Result::Damaged;
        }
        value |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    samples = value;
    return Result::Pulse;
}

} // namespace tapeloom
