// Each pane's media controls: volume and mute, the aspect box, full screen on a double-click,
// play or stop on a right click, and where the keyboard focus goes afterwards.
#include "EditorFixture.h"

#include "ui/VolumeFromSlider.h"

#include <QGuiApplication>
#include <QScreen>

namespace kestrine::test {
namespace {

using core::Edit;

TEST(VolumeFromSliderTest, AttenuationGrowsWithTheSquareOfTheDistanceFromTheTop)
{
    struct Case {
        int position;
        int volume;
    };
    for (const Case c : {Case{0, 10000}, Case{100, 9999}, Case{1000, 9900}, Case{5000, 7500}, Case{7071, 5000},
                         Case{9999, 2}, Case{10000, 0}})
        EXPECT_EQ(ui::VolumeFromSlider(c.position), c.volume) << c.position;
}

class MediaControlsTest : public EditorTest {
protected:
    void OpenSource()
    {
        MediaSpec spec;
        spec.gopLength = 5;
        OpenThroughDialog(MakeMedia(spec));
    }
    // Takes the focus away from the position sliders, so a handler's focus step shows.
    void FocusElsewhere() { form->Button1->setFocus(); }
};

TEST_F(MediaControlsTest, TheVolumeSliderSetsThePaneVolumeAndTheGraphs)
{
    OpenSource();
    form->TrackBar3->SetPosition(10000);
    EXPECT_EQ(Edit.PlayerVolume, 0);
    EXPECT_EQ(form->FilterGraph1->GetAudioVolume(), 0);
    EXPECT_EQ(form->TrackBar3->SelStart(), 10000);

    form->TrackBar3->SetPosition(0);
    EXPECT_EQ(Edit.PlayerVolume, 10000);
    EXPECT_EQ(form->FilterGraph1->GetAudioVolume(), 10000);

    // The Recorder's slider is its own.
    form->TrackBar4->SetPosition(5000);
    EXPECT_EQ(Edit.RecorderVolume, 7500);
    EXPECT_EQ(Edit.PlayerVolume, 10000);

    // Play applies the pane's setting.
    form->TrackBar3->SetPosition(1000);
    form->ToolButton5Click();
    EXPECT_EQ(form->FilterGraph1->GetAudioVolume(), 9900);
    form->ToolButton7Click();
}

TEST_F(MediaControlsTest, MutingAndUnmutingRestoresTheSliderAndTheVolume)
{
    OpenSource();
    form->TrackBar3->SetPosition(5000);
    ASSERT_EQ(form->FilterGraph1->GetAudioVolume(), 7500);

    FocusElsewhere();
    form->CheckBox3->click();
    EXPECT_TRUE(form->CheckBox3->isChecked());
    EXPECT_EQ(form->PlayerMuteSavedPosition, 5000);
    EXPECT_EQ(form->TrackBar3->Position(), 10000);
    EXPECT_FALSE(form->TrackBar3->isEnabled());
    EXPECT_EQ(Edit.PlayerVolume, 0);
    EXPECT_EQ(form->FilterGraph1->GetAudioVolume(), 0);
    EXPECT_EQ(form->focusWidget(), form->TrackBar1);

    FocusElsewhere();
    form->CheckBox3->click();
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_TRUE(form->TrackBar3->isEnabled());
    EXPECT_EQ(form->TrackBar3->Position(), 5000);
    EXPECT_EQ(Edit.PlayerVolume, 7500);
    EXPECT_EQ(form->FilterGraph1->GetAudioVolume(), 7500);
    EXPECT_EQ(form->focusWidget(), form->TrackBar1);
}

TEST_F(MediaControlsTest, MutingAtTheBottomStillSilencesAndUnmutingBeforeAnyOpenKeepsTheSlidersVolume)
{
    // Nothing open: the graph cannot report a volume, so unmuting takes the slider's.
    form->TrackBar4->SetPosition(3000);
    form->CheckBox4->click();
    EXPECT_EQ(Edit.RecorderVolume, 0);
    form->CheckBox4->click();
    EXPECT_EQ(form->TrackBar4->Position(), 3000);
    EXPECT_EQ(Edit.RecorderVolume, ui::VolumeFromSlider(3000));

    // Already at the bottom: no slider change, but mute still sets volume 0.
    int changes = 0;
    form->TrackBar3->SetPosition(10000);
    Edit.PlayerVolume = 1234;
    form->TrackBar3->OnChange = [&](QObject*) { ++changes; };
    form->CheckBox3->click();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(Edit.PlayerVolume, 0);
}

TEST_F(MediaControlsTest, TheAspectBoxSwitchesLetterboxingOfItsOwnPane)
{
    EXPECT_FALSE(form->VideoWindow1->VMROptions().KeepAspectRatio());
    form->CheckBox1->click();  // before any Open: only the setting changes
    EXPECT_TRUE(form->VideoWindow1->VMROptions().KeepAspectRatio());
    EXPECT_FALSE(form->VideoWindow2->VMROptions().KeepAspectRatio());

    OpenSource();
    FocusElsewhere();
    form->CheckBox1->click();
    EXPECT_FALSE(form->VideoWindow1->VMROptions().KeepAspectRatio());
    EXPECT_EQ(form->focusWidget(), form->TrackBar1);
    form->CheckBox2->click();
    EXPECT_TRUE(form->VideoWindow2->VMROptions().KeepAspectRatio());
}

TEST_F(MediaControlsTest, DoubleClickTogglesFullScreenOnlyOnAnActiveGraph)
{
    form->VideoWindow1DblClick();
    EXPECT_FALSE(form->VideoWindow1->FullScreen());

    OpenSource();
    FocusElsewhere();
    form->VideoWindow1DblClick();
    EXPECT_TRUE(form->VideoWindow1->FullScreen());
    EXPECT_TRUE(form->VideoWindow1->OwnerlessFullScreen());
    EXPECT_EQ(form->focusWidget(), form->TrackBar1);
    form->VideoWindow1DblClick();
    EXPECT_FALSE(form->VideoWindow1->FullScreen());
    EXPECT_FALSE(form->VideoWindow1->OwnerlessFullScreen());
}

TEST_F(MediaControlsTest, RightClickPlaysAStoppedPaneAndStopsAPlayingOne)
{
    form->VideoWindow1MouseDown(Qt::RightButton);  // nothing open: nothing starts
    EXPECT_FALSE(form->Timer1->isActive());

    OpenSource();
    form->VideoWindow1MouseDown(Qt::RightButton);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->ToolButton5->isChecked());
    form->VideoWindow1MouseDown(Qt::RightButton);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->ToolButton7->isChecked());

    FocusElsewhere();
    form->VideoWindow1MouseDown(Qt::LeftButton);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->focusWidget(), form->TrackBar1);
}

}  // namespace
}  // namespace kestrine::test
