#include "platform/graph/DefaultRenderers.h"

#include "platform/graph/MemoryRenderer.h"
#include "platform/render/AudioRenderer.h"

namespace kestrine::platform {

ComPtr<IBaseFilter> CreateDefaultRenderer(const AM_MEDIA_TYPE& type, std::u16string* name)
{
    if (type.majortype == MEDIATYPE_Video) {
        if (name) *name = u"Video Renderer";
        return MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
    }
    if (type.majortype == MEDIATYPE_Audio) {
        if (name) *name = u"Audio Renderer";
        return MakeComObject<AudioRenderer>();
    }
    return nullptr;
}

}  // namespace kestrine::platform
