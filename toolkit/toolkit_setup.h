// The toolkit's process-wide set-up, called once at start-up on the UI thread in this order:
// the module instance, the text-table language, the skin folder, then the skin archive with the
// text table. The skin store, the text table and the image cache live for the process.
#pragma once

#include <windows.h>

#include <string>

namespace tk {

// The module whose folder is the instance folder and whose resources hold the skin archive.
// Images are read through the skin store from now on.
void setInstance(HMODULE module);
// The text table's language, and the one used when it is empty; also the language whose
// regional character forms the text uses.
void setTableLanguage(const std::wstring& current, const std::wstring& fallback = L"en_US");
// The skin folder next to the executable, when there is one.
void setResourcePathFromInstance();
// Reads the skin archive from the module's resources, then loads the text table. False when
// the archive is missing or unreadable (the text table is still tried from the disk file).
bool registerSkinArchive();

}  // namespace tk
