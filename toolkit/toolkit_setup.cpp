#include "toolkit/toolkit_setup.h"

#include "toolkit/font_fallback.h"
#include "toolkit/image_cache.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"

namespace tk {

void setInstance(HMODULE module) {
    skinStore().setInstance(module);
    imageCache().setLoader([](const std::wstring& name) { return skinStore().load(name); });
}

void setTableLanguage(const std::wstring& current, const std::wstring& fallback) {
    textTable().setLanguage(current, fallback);
    setTextLanguage(textTable().language());
}

void setResourcePathFromInstance() {
    skinStore().setResourcePathFromInstance();
}

bool registerSkinArchive() {
    const bool archive = skinStore().registerArchive(skinStore().instance());
    textTable().loadForProcess(skinStore().instanceFolder(), skinStore());
    return archive;
}

}  // namespace tk
