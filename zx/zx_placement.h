/* Where the emulator's code runs. On the host everything is ordinary code. On the GBA (bare ARM)
 * the hot parts go to IWRAM, 32-bit memory without wait states, as ARM code; the rest stays in
 * the cartridge as Thumb code. The section names are those of the GBA linker script. */
#ifndef TAPELOOM_ZX_PLACEMENT_H
#define TAPELOOM_ZX_PLACEMENT_H

#if defined(__arm__) && !defined(__linux__)
#define ZX_GBA 1
/* Code run every frame or by the CPU's port handlers: ARM code in IWRAM. */
#define ZX_HOT __attribute__((section(".iwram"), target("arm"), noinline, long_call))
/* Functions callable from code in either memory (a Thumb branch cannot reach IWRAM). */
#define ZX_API __attribute__((long_call))
#else
#define ZX_GBA 0
#define ZX_HOT
#define ZX_API
#endif

#endif
