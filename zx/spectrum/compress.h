/* The compression of memory in save states: LZ77 with byte-aligned sequences, fast to decode and
 * small enough to run from the GBA's cartridge. Spectrum memory packs well this way: empty areas
 * and screen backgrounds become long back references, graphics repeat, code mostly stays literal.
 *
 * A sequence is a token byte LLLL MMMM, then, when LLLL is 15, bytes that add to it up to and
 * including the first byte below 255; then LLLL (plus those) literal bytes. Unless the input ends
 * there, a match follows: the offset back into the output (2 bytes, little-endian, 1-65535), then,
 * when MMMM is 15, bytes that add to it as above; MMMM (plus those) + 4 bytes are copied from that
 * offset, overlapping forwards (offset 1 repeats a byte). The last sequence has literals only.
 * Portable C without allocation. */
#ifndef TAPELOOM_SPECTRUM_COMPRESS_H
#define TAPELOOM_SPECTRUM_COMPRESS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    LZ_MIN_MATCH = 4,
    LZ_MAX_INPUT = 0xFFFF, /* positions are kept in 16 bits */
    LZ_HASH_BITS = 12,     /* 4096 chains of four-byte prefixes */
    LZ_WINDOW = 8192,      /* how far back a chain is followed (any offset can be used) */
    LZ_CHAIN_DEPTH = 8,    /* candidates tried per position */
    LZ_SKIP_AFTER = 7,     /* after 128 positions without a match, every second one... */
    LZ_MATCH_TAIL = 16     /* positions of a match remembered for later ones, from its end */
};

/* What compressing `n` bytes can take at worst (incompressible input). */
#define LZ_BOUND(n) ((n) + (n) / 255u + 16u)

/* Scratch memory of the compressor (24 KiB); its contents need not be kept between calls. */
typedef struct LzWork {
    uint16_t head[1u << LZ_HASH_BITS]; /* newest position + 1 per hash, 0 = none */
    uint16_t chain[LZ_WINDOW];         /* the position before, same hash, + 1 */
} LzWork;

/* Compresses in[0..size) (size <= LZ_MAX_INPUT) into out; returns the bytes written, or 0 when
 * they would not fit into `capacity` (LZ_BOUND(size) always fits). */
size_t lz_compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity, LzWork* work);

/* Expands in[0..in_size) into exactly out_size bytes. With out NULL it only checks. Returns 1
 * when the input is well formed, uses all its bytes and fills out_size exactly; otherwise 0 (out
 * may then be written in part). Never reads or writes outside the given sizes. */
int lz_expand(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size);

#ifdef __cplusplus
}
#endif

#endif
