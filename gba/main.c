/* tpl.gba: reads the table behind the image, then shows the menu (catalogue form) or starts
 * the snapshot Pogoshell opened (plug-in form). */
#include "catalogue.h"
#include "menu.h"
#include "text.h"

int main(void) {
    /* First, before anything touches EWRAM near Pogoshell's argument block. */
    TplCatalogue catalogue;
    tpl_catalogue_scan(&catalogue);

    gba_irq_init_vblank();
    text_init();
    if (catalogue.form == TPL_FORM_PLUGIN)
        tpl_start_plugin(&catalogue);
    else
        menu_run(&catalogue);
    return 0;
}
