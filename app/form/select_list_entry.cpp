#include "form/select_list_entry.h"

#include "choice/list_entries.h"

namespace fw {

void selectListEntry(Toolkit& ui, Ctl list, const std::string& text)
{
    const int n = ui.itemCount(list);
    if (n < 1)
        return;
    ui.setListIndex(list, listEntryFor(text, n));
}

} // namespace fw
