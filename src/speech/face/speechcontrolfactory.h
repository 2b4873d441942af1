#pragma once

#include <memory>

class QWidget;
class SpeechControl;

// The real voice for the speech window.
std::unique_ptr<SpeechControl> CreateSpeechControl(QWidget *parent);
