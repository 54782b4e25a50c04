#pragma once

enum class RecordingState { idle, recording, stopping };
