/* A compiled-C game loop: twenty objects move, bounce and collide; each frame they are erased
 * and drawn again as shifted 8x8 sprites, and the score is printed. Structures reached through
 * pointers, 16-bit arithmetic and functions with locals on an IX frame, as sdcc compiles
 * them. Paced by HALT (IM 2): a pass takes a little more than a frame. */
#include "zxscreen.h"

#define OBJECTS 20
#define WIDTH 248 /* x of a sprite's left edge: 0..WIDTH */
#define HEIGHT 176

typedef struct {
    unsigned int x, y; /* pixels, 8.8 fixed point */
    int dx, dy;
    int drawn_x, drawn_y; /* where the sprite is on the screen, -1: not drawn */
    unsigned char shape;
    unsigned int hits;
} Entity;

static Entity entities[OBJECTS];
static unsigned int score;
static unsigned int seed = 12345;
volatile unsigned char ticks;

static const unsigned char shapes[4][8] = {
    {0x3c, 0x7e, 0xdb, 0xff, 0xff, 0xdb, 0x66, 0x3c},
    {0x18, 0x3c, 0x7e, 0xff, 0xff, 0x7e, 0x3c, 0x18},
    {0x81, 0x42, 0x3c, 0x3c, 0x3c, 0x3c, 0x42, 0x81},
    {0xff, 0x81, 0xbd, 0xa5, 0xa5, 0xbd, 0x81, 0xff},
};

void isr(void) __interrupt {
    ticks++;
}

static unsigned int random(void) {
    seed ^= seed << 7;
    seed ^= seed >> 9;
    seed ^= seed << 8;
    return seed;
}

/* XORs a sprite onto the screen at pixel (x, y). */
static void xor_sprite(int x, int y, const unsigned char *gfx) {
    unsigned char shift = (unsigned char)(x & 7);
    unsigned char col = (unsigned char)(x >> 3);
    unsigned char row;
    for (row = 0; row < 8; ++row) {
        unsigned char *p = zx_pixel_row((unsigned char)(y + row)) + col;
        unsigned int bits = (unsigned int)gfx[row] << (8 - shift);
        p[0] ^= (unsigned char)(bits >> 8);
        if (col < 31)
            p[1] ^= (unsigned char)bits;
    }
}

/* Moves one coordinate and bounces it off [0, limit]; returns 1 when it bounced. */
static unsigned char move_axis(unsigned int *position, int *speed, int limit) {
    unsigned int next = *position + *speed;
    int pixels = (int)(next >> 8);
    if ((*speed < 0 && next > *position) || pixels > limit) {
        *speed = -*speed;
        return 1;
    }
    *position = next;
    return 0;
}

static int distance(unsigned int a, unsigned int b) {
    int d = (a >> 8) - (b >> 8);
    return d < 0 ? -d : d;
}

static void collide(Entity *a, Entity *b) {
    if (distance(a->x, b->x) < 8 && distance(a->y, b->y) < 8) {
        int t = a->dx;
        a->dx = b->dx;
        b->dx = t;
        t = a->dy;
        a->dy = b->dy;
        b->dy = t;
        a->hits++;
        b->hits++;
        score += 10;
    }
}

static void update(Entity *e) {
    const unsigned char *gfx = shapes[e->shape];
    if (e->drawn_x >= 0)
        xor_sprite(e->drawn_x, e->drawn_y, gfx);
    if (move_axis(&e->x, &e->dx, WIDTH) | move_axis(&e->y, &e->dy, HEIGHT))
        e->shape = (unsigned char)((e->shape + 1) & 3);
    e->drawn_x = (int)(e->x >> 8);
    e->drawn_y = (int)(e->y >> 8);
    xor_sprite(e->drawn_x, e->drawn_y, shapes[e->shape]);
}

void main(void) {
    unsigned char i, j;
    zx_cls(0x38);
    for (i = 0; i < 32; ++i)
        ZX_ATTRS[i] = 0x0f;
    for (i = 0; i < OBJECTS; ++i) {
        Entity *e = &entities[i];
        e->x = (random() % WIDTH) << 8;
        e->y = ((random() % (HEIGHT - 16)) + 8) << 8;
        e->dx = (int)(random() % 512) - 256;
        e->dy = (int)(random() % 512) - 256;
        e->drawn_x = -1;
        e->shape = i & 3;
    }
    for (;;) {
        for (i = 0; i < OBJECTS; ++i)
            update(&entities[i]);
        for (i = 0; i < OBJECTS; ++i)
            for (j = i + 1; j < OBJECTS; ++j)
                collide(&entities[i], &entities[j]);
        zx_print(0, 0, "SCORE");
        zx_print_number(6, 0, score, 5);
        zx_print_number(26, 0, ticks, 3);
        __asm__("halt");
    }
}
