// Colours that tell the stations apart on the map: each station keeps one colour, from
// run to run and on every computer, because it is derived from the station's position
// rather than from the order in which stations happen to appear.
//
// The palette is Okabe and Ito's set for colour-blind viewers ("Color Universal Design",
// 2008) without its black, which would vanish on the dark base map, and without its blue,
// which is too dark there (below 3:1 against the land) and too like the plain bearing blue;
// a light grey takes their place. Viewers with any common colour-vision deficiency still
// tell the seven apart, and each stands out on the base map's dark land and black sea.
#pragma once

#include "ui/DestinationPoint.h"
#include "ui/map/WebMap.h"

#include <QString>
#include <array>

inline constexpr std::array<TColor, 7> StationPalette{
    0x00009FE6, // orange        #E69F00
    0x00E9B456, // sky blue      #56B4E9
    0x00739E00, // bluish green  #009E73
    0x0042E4F0, // yellow        #F0E442
    0x00005ED5, // vermillion    #D55E00
    0x00A779CC, // reddish purple #CC79A7
    0x00BBBBBB, // light grey    #BBBBBB
};

// The station's identity: its position to a micro-degree (about 0.1 m), so the units list,
// the bearings and the intersections, which each carry the position, agree on it.
QString StationKey(const TCoordinate& station);

// The station's own colour: a fixed hash (FNV-1a of the key's UTF-8) picks a palette entry.
// Two stations may share it; the map gives the later one in a view the next free colour.
TColor StationColor(const QString& stationKey);
