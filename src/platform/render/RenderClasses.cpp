#include "platform/render/RenderClasses.h"

#include "platform/render/VideoRendererFilter.h"

#include <QApplication>
#include <QThread>

namespace kestrine::platform {
namespace {

HRESULT CreateVideoRenderer(VideoRendererFilter::Kind kind, REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // A renderer owns a window, which only a widget application on its GUI thread can make.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || app->thread() != QThread::currentThread()) return CLASS_E_CLASSNOTAVAILABLE;
    auto filter = MakeComObject<VideoRendererFilter>(kind);
    return filter->QueryInterface(riid, ppv);
}

}  // namespace

void RegisterRendererClasses(const ClassAdder& add)
{
    add(CLSID_VideoRenderer, [](REFIID riid, void** ppv) { return CreateVideoRenderer(VideoRendererFilter::Kind::Classic, riid, ppv); });
    add(CLSID_VideoMixingRenderer9, [](REFIID riid, void** ppv) { return CreateVideoRenderer(VideoRendererFilter::Kind::Mixing, riid, ppv); });
}

}  // namespace kestrine::platform
