import contextlib
import io
import os
import tempfile
import unittest

import check_layers


def tree(files):
    """A source root holding files {path: text}."""
    root = tempfile.TemporaryDirectory()
    for path, text in files.items():
        full = os.path.join(root.name, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as out:
            out.write(text)
    return root


def run(root):
    errors = io.StringIO()
    with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(errors):
        status = check_layers.main(["check_layers.py", root])
    return status, errors.getvalue()


class CheckLayersTest(unittest.TestCase):
    def test_a_folder_included_back_fails_naming_the_files(self):
        with tree({
            "app/main_loop.cpp": '#include "playback/playlist.h"\n',
            "playback/playlist.h": "",
            "playback/playlist.cpp": '#include "app/main_loop.h"\n',
            "app/main_loop.h": "",
        }) as root:
            status, errors = run(root)
        self.assertEqual(status, 1)
        self.assertIn("app -> playback -> app", errors)
        self.assertIn('playback/playlist.cpp includes "app/main_loop.h"', errors)

    def test_a_longer_circle_fails(self):
        with tree({
            "tomidi/a.cpp": '#include "playback/b.h"\n',
            "playback/b.h": '#include "effects/chain/c.h"\n',
            "effects/chain/c.h": '#include "tomidi/d.h"\n',
            "tomidi/d.h": "",
        }) as root:
            self.assertEqual(run(root)[0], 1)

    def test_subfolders_of_app_and_effects_are_folders_of_their_own(self):
        # app uses app/window, and effects uses effects/chain, one way only;
        # engine's subfolders count as engine, so they may include each other.
        with tree({
            "app/main.cpp": '#include "app/window/screen.h"\n#include "effects/panel.h"\n',
            "app/window/screen.h": '#include "engine/fbs.h"\n',
            "effects/panel.h": '#include "chain/stage.h"\n',
            "effects/chain/stage.h": '#include <atomic>\n#include "engine/mixer/mixer.h"\n',
            "engine/fbs.h": "",
            "engine/mixer/mixer.h": '#include "engine/stream/stream.h"\n',
            "engine/stream/stream.h": '#include "engine/mixer/mixer.h"\n',
        }) as root:
            self.assertEqual(run(root), (0, ""))
            graph = check_layers.include_graph(root)
        self.assertEqual(sorted(graph["effects"]), ["effects/chain"])
        self.assertEqual(check_layers.layers(graph),
                         [["engine"], ["app/window", "effects/chain"], ["effects"], ["app"]])


if __name__ == "__main__":
    unittest.main()
