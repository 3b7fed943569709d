# GBA images, built with arm-none-eabi-gcc. (Filled in by the boot image work.)
