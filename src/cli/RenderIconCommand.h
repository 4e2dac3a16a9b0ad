#pragma once
// tansu-cli render-icon: one frame of a save's icon, drawn as the icon pane draws it, saved as PNG.
#include <cstdint>
#include <string>

// savepath: a PS2 save folder (the model its icon.sys names) or a PS1 raw save
// file. time: the pane's millisecond tick at which the frame is drawn. size:
// the picture's width and height. False (with a log line) when there was no
// icon to draw or the picture could not be written; outputFile is then left as it was.
bool RenderIcon(const std::string& savePath, uint32_t time, uint32_t size, const std::string& outputFile);
