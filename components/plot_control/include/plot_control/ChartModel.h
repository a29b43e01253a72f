#pragma once
// What a chart control draws: the scene, the camera and the picking switch,
// shared by the control object and its widget (which its window may destroy
// first), and given to programs that link the control to set the view.
#include "plot_control/Camera.h"
#include "plot_control/Scene.h"

#include <functional>

namespace plot {

struct ChartModel {
    Scene scene;
    OrbitCamera camera;
    bool bCollisionDetect = true;
    // A settled frame may be drawing the scene on a thread of its own, which
    // also fills the scene's caches. Whatever changes the scene, or reads
    // more than its settings, on the GUI thread goes through Edit(), which
    // abandons that frame and waits for its thread to let go.
    std::function<void()> releaseScene;
    Scene& Edit()
    {
        if (releaseScene)
            releaseScene();
        return scene;
    }
};

} // namespace plot
