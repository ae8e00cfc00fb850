#include "platform/graph/DefaultRenderers.h"

#include "platform/graph/MemoryRenderer.h"

namespace kestrine::platform {

ComPtr<IBaseFilter> CreateDefaultRenderer(const AM_MEDIA_TYPE& type, std::u16string* name)
{
    if (type.majortype == MEDIATYPE_Video) {
        if (name) *name = u"Video Renderer";
        return MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
    }
    if (type.majortype == MEDIATYPE_Audio) {
        if (name) *name = u"Audio Renderer";
        return MakeComObject<MemoryRenderer>(MEDIATYPE_Audio, std::vector<GUID>{MEDIASUBTYPE_PCM, MEDIASUBTYPE_IEEE_FLOAT});
    }
    return nullptr;
}

}  // namespace kestrine::platform
