#pragma once
// Command ids of the menus, toolbar and keyboard. The main frame makes the
// actions and the chart view carries out the chart's commands; both take the
// ids from here so the two can never disagree. Keep the values: the actions
// carry them as data and tests and tools find the actions by them.
namespace vantix {

enum CommandId : unsigned {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE_AS = 57603,
    ID_FILE_SAVE_AS2 = 57604,
    ID_FILE_PRINT = 57607,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_WINDOW_ARRANGE = 57649,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE_HORZ = 57651,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_INSERT_DATA = 32773,
    ID_CHART_OPTIONS = 32778,
    ID_WATER_LEVEL = 32781,
    ID_WIREFRAME = 32784,
    ID_WATER_UP = 32789,
    ID_WATER_DOWN = 32790,
    // Height of a cell several records share, and surfaces through scattered points.
    ID_AGGREGATE_MIN = 32800,
    ID_AGGREGATE_MAX = 32801,
    ID_AGGREGATE_MEAN = 32802,
    ID_SURFACE_FROM_POINTS = 32803,
    // Camera presets: from above, along the Y input, along the X input.
    ID_VIEW_TOP = 32804,
    ID_VIEW_FRONT = 32805,
    ID_VIEW_SIDE = 32806,
    ID_COLOR_BY_VALUE = 32807,
    // The chart's picture to a file, and to the clipboard.
    ID_FILE_EXPORT_IMAGE = 32808,
    ID_EDIT_COPY_IMAGE = 32809,
    // Log scales of the X, Y and function axes; the three are consecutive.
    ID_LOG_X = 32820,
    ID_LOG_Y = 32821,
    ID_LOG_Z = 32822,
    // Studies in databases: connect, follow new trials, read again now.
    ID_FILE_CONNECT = 32830,
    ID_FOLLOW_STUDY = 32831,
    ID_READ_STUDY = 32832,
};

} // namespace vantix
