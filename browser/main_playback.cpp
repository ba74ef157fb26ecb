// TForm1: playback of the selected wave, one at a time or all waves of the folder in turn.
#include "browser/main.h"

void TForm1::Play1Click()
{
    StartPlaying();
    UpdateCommands();
}

void TForm1::Stop1Click()
{
    StopPlaying();
    UpdateCommands();
}

void TForm1::WaveListMouseDown(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        StartPlaying();
    else if (button == Qt::RightButton)
        StopPlaying();
}

void TForm1::Timer1Timer()
{
    if (AllWavesBtn->isChecked())
        NextOfAllWaves();
    else
        SinglePlayEnded();
}

void TForm1::StartPlaying()
{
    if (AllWavesBtn->isChecked())
        StartAllWaves();
    else
        PlaySelected();
}

void TForm1::StopPlaying()
{
    if (AllWavesBtn->isChecked())
        StopAllWaves();
    else
        StopSingle();
}

// The player arrives with the sound components; until then nothing plays.
void TForm1::PlaySelected() {}
void TForm1::StopSingle() {}
bool TForm1::StartEndTimer() { return false; }
void TForm1::SinglePlayEnded() {}
void TForm1::StartAllWaves() {}
void TForm1::PlayAllWavesItem() {}
void TForm1::NextOfAllWaves() {}
void TForm1::StopAllWaves() {}
