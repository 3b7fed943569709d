# Included by the GBA cross build (gba/cross.cmake): tpl_menu.gba, the start-up and the menu of
# tpl.gba with the menu's own actions (the details view) in place of the emulator's, for the
# menu's tests in tests/gba.
add_gba_image(NAME tpl_menu SOURCES ${CMAKE_CURRENT_LIST_DIR}/menu_only.c LIBS gba_menu)
