#pragma once

// What a file holds as its header says: the picture's size (upright, as a full load reports it), its
// pages and its frames.
struct TGraphicInfo {
    int Width = 0;
    int Height = 0;
    int Pages = 1;
    int Frames = 1;
};
