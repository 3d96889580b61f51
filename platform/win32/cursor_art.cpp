#include "platform/win32/cursor_art.h"

#include <string_view>

#include "platform/win32/win32.h"

namespace hv {

namespace {

// '#' black, '-' white, anything else transparent; rows shorter than 32 are transparent after
// their end, missing rows are transparent.
const std::string_view kUpArrow[] = {
    "       #",          //
    "      #-#",         //
    "     #---#",        //
    "    #-----#",       //
    "   #-------#",      //
    "  #---------#",     //
    " #-----------#",    //
    " ######---######",  //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #---#",       //
    "      #####",       //
};

const std::string_view kHelp[] = {
    "#            ####",    //
    "##          #----#",   //
    "#-#        #--##--#",  //
    "#--#       #--##--#",  //
    "#---#       ## #--#",  //
    "#----#        #--#",   //
    "#-----#      #--#",    //
    "#------#     #--#",    //
    "#-------#     ##",     //
    "#--------#   #--#",    //
    "#-----####   #--#",    //
    "#--#--#       ##",     //
    "#-# #--#",             //
    "##  #--#",             //
    "#    #--#",            //
    "     #--#",            //
    "      ##",             //
};

const std::string_view kProgramHand[] = {
    "      ##",           //
    "     #--#",          //
    "     #--#",          //
    "     #--#",          //
    "     #--#",          //
    "     #--###",        //
    "     #--#--##",      //
    "     #--#--#-##",    //
    " ##  #--#--#-#-#",   //
    "#--# #--------#-#",  //
    "#---##----------#",  //
    " #--#-----------#",  //
    "  #-------------#",  //
    "  #------------#",   //
    "   #-----------#",   //
    "   #----------#",    //
    "    #---------#",    //
    "    #--------#",     //
    "     #-------#",     //
    "     #########",     //
};

template <size_t N>
CursorArt FromRows(const std::string_view (&rows)[N], int hotX, int hotY) {
    CursorArt art;
    art.HotX = hotX;
    art.HotY = hotY;
    const int stride = art.Width / 8;
    art.Data.assign(size_t(stride * art.Height), 0);
    art.Mask.assign(size_t(stride * art.Height), 0);
    for (size_t y = 0; y < N && int(y) < art.Height; ++y) {
        for (size_t x = 0; x < rows[y].size() && int(x) < art.Width; ++x) {
            const size_t byte = y * size_t(stride) + x / 8;
            const uint8_t bit = uint8_t(0x80u >> (x % 8));
            if (rows[y][x] == '#') {
                art.Data[byte] |= bit;
                art.Mask[byte] |= bit;
            } else if (rows[y][x] == '-') {
                art.Mask[byte] |= bit;
            }
        }
    }
    return art;
}

}  // namespace

CursorArt BuildCursorArt(int id) {
    switch (id) {
        case IDC_UPARROW:
            return FromRows(kUpArrow, 7, 0);
        case IDC_HELP:
            return FromRows(kHelp, 0, 0);
        case IDC_PROGRAM_HAND:
            return FromRows(kProgramHand, 7, 1);
        default:
            return CursorArt{};
    }
}

}  // namespace hv
