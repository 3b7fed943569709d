#include "spectrum/compress.h"

#include <string.h>

static uint32_t hash4(const uint8_t* p) {
    uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    return (v * 2654435761u) >> (32 - LZ_HASH_BITS);
}

/* Writes the bytes that extend a 4-bit count of 15 by `extra`; returns the new output position,
 * or 0 when they do not fit. */
static size_t put_extension(uint8_t* out, size_t o, size_t capacity, size_t extra) {
    for (;;) {
        if (o >= capacity)
            return 0;
        if (extra < 255) {
            out[o++] = (uint8_t)extra;
            return o;
        }
        out[o++] = 255;
        extra -= 255;
    }
}

/* One sequence: `literals` bytes from `from`, then (when match_length) the match. Returns the new
 * output position, 0 when it does not fit. */
static size_t put_sequence(uint8_t* out, size_t o, size_t capacity, const uint8_t* from,
                           size_t literals, size_t offset, size_t match_length) {
    size_t match_code = match_length ? match_length - LZ_MIN_MATCH : 0;
    if (o >= capacity)
        return 0;
    out[o++] =
        (uint8_t)((literals < 15 ? literals : 15) << 4 | (match_code < 15 ? match_code : 15));
    if (literals >= 15 && !(o = put_extension(out, o, capacity, literals - 15)))
        return 0;
    if (literals > capacity - o)
        return 0;
    if (literals)
        memcpy(out + o, from, literals);
    o += literals;
    if (!match_length)
        return o;
    if (capacity - o < 2)
        return 0;
    out[o++] = (uint8_t)offset;
    out[o++] = (uint8_t)(offset >> 8);
    if (match_code >= 15 && !(o = put_extension(out, o, capacity, match_code - 15)))
        return 0;
    return o;
}

size_t lz_compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity, LzWork* work) {
    if (size > LZ_MAX_INPUT)
        return 0;
    if (size == 0) /* one empty sequence (and no pointer arithmetic on an empty input) */
        return put_sequence(out, 0, capacity, 0, 0, 0, 0);
    memset(work->head, 0, sizeof work->head);
    /* chain[] needs no clearing: an entry is only followed from a position inserted less than
     * LZ_WINDOW positions ago, whose entry was written when it was inserted. */
    size_t o = 0, anchor = 0, i = 0, misses = 0;
    size_t last = size >= LZ_MIN_MATCH ? size - LZ_MIN_MATCH + 1 : 0; /* positions with 4 bytes */
    while (i < last) {
        uint32_t h = hash4(in + i);
        size_t best_length = 0, best_offset = 0;
        uint32_t candidate = work->head[h];
        for (int depth = 0; candidate && depth < LZ_CHAIN_DEPTH; ++depth) {
            size_t at = candidate - 1, offset = i - at;
            size_t length = 0, most = size - i;
            while (length < most && in[at + length] == in[i + length])
                ++length;
            if (length > best_length) {
                best_length = length;
                best_offset = offset;
                if (length == most)
                    break;
            }
            if (offset >= LZ_WINDOW)
                break;
            uint32_t before = work->chain[at & (LZ_WINDOW - 1)];
            if (before >= candidate)
                break; /* chains only go back */
            candidate = before;
        }
        work->chain[i & (LZ_WINDOW - 1)] = work->head[h];
        work->head[h] = (uint16_t)(i + 1);
        if (best_length < LZ_MIN_MATCH) {
            /* Where nothing matches for long (packed data, noise), look at fewer places. */
            i += 1 + (misses++ >> LZ_SKIP_AFTER);
            continue;
        }
        misses = 0;
        o = put_sequence(out, o, capacity, in + anchor, i - anchor, best_offset, best_length);
        if (!o)
            return 0;
        /* Inside the match only its last positions are remembered: the rest of a long run
         * would only repeat what they find. */
        size_t end = i + best_length;
        size_t from = end - i > LZ_MATCH_TAIL ? end - LZ_MATCH_TAIL : i + 1;
        for (i = from; i < end && i < last; ++i) {
            uint32_t g = hash4(in + i);
            work->chain[i & (LZ_WINDOW - 1)] = work->head[g];
            work->head[g] = (uint16_t)(i + 1);
        }
        i = end;
        anchor = end;
    }
    return put_sequence(out, o, capacity, in + anchor, size - anchor, 0, 0);
}

/* Reads the bytes that extend a count of 15; 0 when the input ends first or the count passes
 * `most`. */
static int get_extension(const uint8_t* in, size_t in_size, size_t* i, size_t* count, size_t most) {
    for (;;) {
        if (*i >= in_size)
            return 0;
        uint8_t b = in[(*i)++];
        *count += b;
        if (*count > most)
            return 0;
        if (b < 255)
            return 1;
    }
}

int lz_expand(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size) {
    size_t i = 0, o = 0;
    for (;;) {
        if (i >= in_size)
            return 0; /* every stream ends with a sequence, even an empty one */
        uint8_t token = in[i++];
        size_t literals = token >> 4;
        if (literals == 15 && !get_extension(in, in_size, &i, &literals, out_size))
            return 0;
        if (literals > in_size - i || literals > out_size - o)
            return 0;
        if (out)
            memcpy(out + o, in + i, literals);
        i += literals;
        o += literals;
        if (i == in_size)
            return o == out_size;
        if (in_size - i < 2)
            return 0;
        size_t offset = (size_t)in[i] | (size_t)in[i + 1] << 8;
        i += 2;
        size_t length = token & 15;
        if (length == 15 && !get_extension(in, in_size, &i, &length, out_size))
            return 0;
        length += LZ_MIN_MATCH;
        if (offset == 0 || offset > o || length > out_size - o)
            return 0;
        if (out) {
            uint8_t* to = out + o;
            const uint8_t* from = to - offset;
            if (offset == 1) {
                memset(to, *from, length); /* a run */
            } else if (offset >= length) {
                memcpy(to, from, length);
            } else {
                for (size_t k = 0; k < length; ++k)
                    to[k] = from[k]; /* a repeating pattern: overlapping on purpose */
            }
        }
        o += length;
    }
}
