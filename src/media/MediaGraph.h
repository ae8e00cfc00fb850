#pragma once
// TFilterGraph: the non-visual component that owns one filter graph manager while it is active.
//
// It creates and releases the graph (and, by Mode, a capture or DVD graph builder) as Active changes,
// receives the graph's events through a hidden window of its own and dispatches them on the GUI
// thread, lets other components plug a filter into the graph (IGraphFilterProvider) and follow its
// state (IGraphListener), and offers what the panes call: Play, Pause, Stop, RenderMediaFile,
// EmptyGraph, volume, and the graph manager itself. Asked for an interface, it answers for its graph.
//
// Everything here runs on the GUI thread that created the component.
#include <QObject>

// The meta-object compiler needs only the class itself; it cannot read the C++20 headers below.
#ifndef Q_MOC_RUN
#include "media/GraphLinks.h"
#include "media/MediaErrors.h"
#include "media/MediaGraphEventTypes.h"
#include "platform/com/WideString.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MessageWindow.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#endif

namespace kestrine::media {

class GraphLogFile;

enum class TGraphMode { gmNormal = 0, gmCapture = 1, gmDVD = 2 };

// The message the graph posts to the event window for each event it queues (WM_APP + 1).
inline constexpr platform::UINT WM_GRAPHNOTIFY = 32769;

class TFilterGraph : public QObject, public platform::IUnknown {
    Q_OBJECT
public:
    explicit TFilterGraph(QObject* owner = nullptr);
    // Deactivates (telling listeners and providers), then frees the event window and both lists.
    ~TFilterGraph() override;
    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    // ---- Published properties, in their published order ----

    // The graph manager's log file; emptied at every activation. A path that cannot be created while
    // active is refused quietly: the property keeps its previous value and no log is written.
    const std::string& LogFile() const { return logFile_; }
    void SetLogFile(const std::string& path);

    bool Active() const { return active_; }
    void SetActive(bool value);

    // Read only by Loaded.
    bool AutoCreate() const { return autoCreate_; }
    void SetAutoCreate(bool value) { autoCreate_ = value; }

    // Changing it re-activates an active graph in the new mode.
    TGraphMode Mode() const { return mode_; }
    void SetMode(TGraphMode value);

    // Registration in the running object table; kept across activations and applied at each.
    bool GraphEdit() const { return graphEdit_; }
    void SetGraphEdit(bool value);

    TNotifyEvent OnActivate;  // after each activation
    TOnDSEvent OnDSEvent;     // every graph event, after the listeners

    TOnGraphComplete OnGraphComplete;
    TNotifyEvent OnGraphUserAbort;
    TOnDSResult OnGraphErrorAbort;
    TOnGraphStreamError OnGraphStreamErrorStopped;
    TOnGraphStreamError OnGraphStreamErrorStillPlaying;
    TOnDSResult OnGraphErrorStillPlaying;
    TNotifyEvent OnGraphPaletteChanged;
    TOnGraphVideoSizeChanged OnGraphVideoSizeChanged;
    TNotifyEvent OnGraphQualityChange;
    TNotifyEvent OnGraphClockChanged;
    TOnDSResult OnGraphPaused;
    TOnGraphOpeningFile OnGraphOpeningFile;
    TOnGraphBufferingData OnGraphBufferingData;
    TOnGraphFullscreenLost OnGraphFullscreenLost;
    TOnGraphOleEvent OnGraphOleEvent;
    TOnGraphStreamControl OnGraphStreamControlStopped;
    TOnGraphStreamControl OnGraphStreamControlStarted;
    TOnGraphEndOfSegment OnGraphEndOfSegment;
    TOnGraphDeviceLost OnGraphDeviceLost;
    TNotifyEvent OnGraphStepComplete;
    TOnGraphTimeCodeAvailable OnGraphTimeCodeAvailable;
    TOnGraphEXTDeviceModeChange OnGraphEXTDeviceModeChange;
    TNotifyEvent OnGraphChanged;
    TNotifyEvent OnGraphClockUnset;
    TOnGraphVMRRenderDevice OnGraphVMRRenderDevice;
    TNotifyEvent OnDVDDomainFirstPlay;
    TNotifyEvent OnDVDDomainVideoManagerMenu;
    TNotifyEvent OnDVDDomainVideoTitleSetMenu;
    TNotifyEvent OnDVDDomainTitle;
    TNotifyEvent OnDVDDomainStop;
    TOnDVDTitleChange OnDVDTitleChange;
    TOnDVDChapterStart OnDVDChapterStart;
    TOnDVDAudioStreamChange OnDVDAudioStreamChange;
    TOnDVDSubpictureStreamChange OnDVDSubpictureStreamChange;
    TOnDVDChange OnDVDAngleChange;
    TOnDVDChange OnDVDButtonChange;
    TOnDVDValidUOPSChange OnDVDValidUOPSChange;
    TOnDVDStillOn OnDVDStillOn;
    TNotifyEvent OnDVDStillOff;
    TOnDVDCurrentTime OnDVDCurrentTime;
    TNotifyEvent OnDVDErrorUnexpected;
    TNotifyEvent OnDVDErrorCopyProtectFail;
    TNotifyEvent OnDVDErrorInvalidDVD1_0Disc;
    TNotifyEvent OnDVDErrorInvalidDiscRegion;
    TNotifyEvent OnDVDErrorLowParentalLevel;
    TNotifyEvent OnDVDErrorMacrovisionFail;
    TNotifyEvent OnDVDErrorIncompatibleSystemAndDecoderRegions;
    TNotifyEvent OnDVDErrorIncompatibleDiscAndDecoderRegions;
    TNotifyEvent OnDVDWarningInvalidDVD1_0Disc;
    TNotifyEvent OnDVDWarningFormatNotSupported;
    TNotifyEvent OnDVDWarningIllegalNavCommand;
    TNotifyEvent OnDVDWarningOpen;
    TNotifyEvent OnDVDWarningSeek;
    TNotifyEvent OnDVDWarningRead;
    TNotifyEvent OnDVDChapterAutoStop;
    TNotifyEvent OnDVDNoFP_PGC;
    TOnDVDPlaybackRateChange OnDVDPlaybackRateChange;
    TOnDVDParentalLevelChange OnDVDParentalLevelChange;
    TNotifyEvent OnDVDPlaybackStopped;
    TOnDVDAnglesAvailable OnDVDAnglesAvailable;
    TNotifyEvent OnDVDPlayPeriodAutoStop;
    TOnDVDButtonAutoActivated OnDVDButtonAutoActivated;
    TOnDVDCMD OnDVDCMDStart;
    TOnDVDCMD OnDVDCMDEnd;
    TNotifyEvent OnDVDDiscEjected;
    TNotifyEvent OnDVDDiscInserted;
    TOnDVDCurrentHMSFTime OnDVDCurrentHMSFTime;
    TOnDVDKaraokeMode OnDVDKaraokeMode;
    TOnGraphSNDDevError OnGraphSNDDevInError;
    TOnGraphSNDDevError OnGraphSNDDevOutError;

    // ---- Life cycle ----

    // Loading of the owner's settings has ended: activates when AutoCreate is set.
    void Loaded();

    // ---- Interfaces ----

    // The component's own interfaces first (IUnknown), then, while active, the graph's: in gmCapture
    // the capture builder's before the graph manager's, in gmDVD the DVD builder's and its navigator
    // interfaces before the graph manager's. Inactive: E_NOINTERFACE for all but IUnknown.
    platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
    // A component: its owner decides when it goes, so counting does nothing.
    platform::ULONG AddRef() override;
    platform::ULONG Release() override;

    template <class I>
    platform::ComPtr<I> Query()
    {
        platform::ComPtr<I> out;
        QueryInterface(I::kIid, reinterpret_cast<void**>(out.GetAddressOf()));
        return out;
    }

    // The graph manager, or nothing while inactive.
    platform::ComPtr<platform::IFilterGraph2> GraphManager() const { return graphManager_; }

    // ---- Operations ----

    // Listeners are told the operation (0, 1, 2), then the graph is run, paused or stopped. False when
    // the graph offers no IMediaControl (always while inactive); Pause and Stop give True only for S_OK.
    // A failing result raises EDirectShowException.
    bool Play();
    bool Pause();
    bool Stop();
    // Builds the graph that plays the file. S_FALSE without a graph manager; listeners are told 3
    // before and 4 after a success; a failure raises EDirectShowException.
    platform::HRESULT RenderMediaFile(const platform::WideString& path);
    platform::HRESULT RenderMediaFile(const std::string& utf8Path) { return RenderMediaFile(platform::ToWide(utf8Path)); }
    // Stops the graph, disconnects every pin and removes every filter but the linked providers'.
    void EmptyGraph();
    void DisconnectAllPins();
    // Volume 0 (silent) to 10000 (full); 0 when the graph offers no volume.
    int GetAudioVolume() { return ReadAudioVolume().value_or(0); }
    // The volume, or nothing when the graph has nothing audible to ask.
    std::optional<int> ReadAudioVolume();
    void SetAudioVolume(int volume);

    // ---- Links ----

    // Appends the provider (no duplicate test); while active its filter is added to the graph at once.
    void InsertLinkedFilter(IGraphFilterProvider* provider);
    // Removes the provider's first occurrence; while active its filter is taken out of the graph.
    void RemoveLinkedFilter(IGraphFilterProvider* provider);
    void AddGraphListener(IGraphListener* listener);
    void RemoveGraphListener(IGraphListener* listener);
    std::size_t LinkedFilterCount() const { return linkedFilters_ ? linkedFilters_->size() : 0; }
    std::size_t GraphListenerCount() const { return listeners_ ? listeners_->size() : 0; }

    // Every listener, in list order. A listener unlinked during the walk (by itself or another) is not
    // called after that; one linked during it is called from the next notification on.
    void NotifyListenersOfControl(LONG operation, LONG value);
    void NotifyListenersOfEvent(LONG code, LONG_PTR param1, LONG_PTR param2);

    // ---- Events ----

    // Handles every event waiting in the graph's queue, in queue order, each followed by
    // FreeEventParams. Nothing while inactive. An exception from a handler goes to the caller, and
    // the events after it stay queued.
    void DrainGraphEvents();
    // Listeners, then OnDSEvent, then the code's own published event.
    virtual void HandleGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2);

    // The hidden window that receives WM_GRAPHNOTIFY.
    platform::HWND EventWindow() const;

private:
    void Activate();
    void Deactivate();
    void AddLinkedFilterToGraph(IGraphFilterProvider* provider);
    void RemoveLinkedFilterFromGraph(IGraphFilterProvider* provider);
    void CloseLog();
    void ForEachListener(const std::function<void(IGraphListener&)>& call);
    void ForEachLinkedFilter(const std::function<void(IGraphFilterProvider&)>& call);
    platform::LRESULT EventWindowProcedure(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);
    void FireDVDLanguageEvent(LONG code, LONG_PTR stream);

    using ProviderList = std::vector<platform::ComPtr<IGraphFilterProvider>>;
    using ListenerList = std::vector<platform::ComPtr<IGraphListener>>;

    // Published values.
    std::string logFile_;
    bool active_ = false;
    bool autoCreate_ = false;
    TGraphMode mode_ = TGraphMode::gmNormal;
    bool graphEdit_ = false;

    std::unique_ptr<platform::MessageWindow> eventWindow_;
    std::unique_ptr<ProviderList> linkedFilters_;  // none until the first insert, freed when emptied
    std::unique_ptr<ListenerList> listeners_;
    platform::ComPtr<platform::IMediaEventEx> mediaEvents_;
    platform::DWORD rotCookie_ = 0;
    std::unique_ptr<GraphLogFile> logStream_;
    platform::ComPtr<platform::IFilterGraph2> graphManager_;
    platform::ComPtr<platform::ICaptureGraphBuilder2> captureBuilder_;
    platform::ComPtr<platform::IDvdGraphBuilder> dvdBuilder_;
};

}  // namespace kestrine::media
