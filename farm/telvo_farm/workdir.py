# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""A job's work folder, next to its result on the shared storage: the finished segments,
their stats, and a manifest of the settings they were made with. An interrupted job
finds it again and reuses what is finished and still matches."""

import json
import os
import shutil

from telvo_farm.errors import FarmError
from telvo_farm.output_place import hidden_beside
from telvo_farm.probe import inspect_segment
from telvo_farm.segment_task import file_digest, is_attempt_leftover

MANIFEST = "manifest.json"
MEASURES_EXT = ".measures"
_FINISHED = "finished"  # in the manifest: segment index -> {file name: sha256}


def stats_rows(path):
    """Complete frame records in a stats file (CSV has a header line) or a first pass's
    measurements (one `measure` line per frame). telvo ends every record with a newline,
    so a last line without one was cut short and does not count."""
    with open(path, encoding="utf-8") as f:
        if path.endswith(MEASURES_EXT):
            return sum(1 for line in f if line.startswith("measure,") and line.endswith("\n"))
        lines = sum(1 for line in f if line.strip() and line.endswith("\n"))
    return lines - 1 if path.endswith(".csv") else lines


class WorkDir:
    def __init__(self, result_path, video_ext, stats_ext):
        self.path = hidden_beside(result_path, ".farm")
        self.video_ext = video_ext  # "" when the frames are discarded
        self.stats_ext = stats_ext  # "" without --stats

    def _file(self, segment, ext):
        return os.path.join(self.path, f"seg-{segment.index:06d}{ext}") if ext else ""

    def video(self, segment):
        return self._file(segment, self.video_ext)

    def stats(self, segment):
        return self._file(segment, self.stats_ext)

    def _read_manifest(self):
        try:
            with open(os.path.join(self.path, MANIFEST), encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def _write_manifest(self, manifest):
        final = os.path.join(self.path, MANIFEST)
        temporary = final + ".att-manifest"
        with open(temporary, "w", encoding="utf-8") as f:
            json.dump(manifest, f, indent=1, sort_keys=True)
        os.replace(temporary, final)

    def open(self, manifest, segments):
        """Prepares the folder and returns {segment index: (settings, frames)} of the
        finished segments that can be reused, and a note for the user or None."""
        note = None
        found = os.path.isdir(self.path)
        old = self._read_manifest() if found else None
        # The digests of finished segments are recorded as they come; the rest must match.
        finished = (old or {}).pop(_FINISHED, {})
        if found and old != manifest:
            note = f"settings or input changed since {self.path} was made; starting afresh"
            self.remove()
            found, finished = False, {}
        self.manifest = dict(manifest, **{_FINISHED: {}})
        try:
            os.makedirs(self.path, exist_ok=True)
            self.sweep()
        except OSError as e:
            raise FarmError(f"cannot prepare the work folder '{self.path}': {e}") from None
        reused = {}
        for segment in segments if found else []:
            digests = finished.get(str(segment.index))
            checked = self._check_finished(segment, digests or {})
            if checked is not None:
                reused[segment.index] = checked
                self.manifest[_FINISHED][str(segment.index)] = digests
        self._save()
        if reused:
            note = f"resuming: {len(reused)} of {len(segments)} segments already done"
        return reused, note

    def _save(self):
        try:
            self._write_manifest(self.manifest)
        except OSError as e:
            raise FarmError(f"cannot write in the work folder '{self.path}': {e}") from None

    def record(self, segment, digests):
        """Notes a segment as finished with what its files hold."""
        self.manifest[_FINISHED][str(segment.index)] = digests
        self._save()

    def _check_finished(self, segment, digests):
        """(settings, frames) of a complete segment whose files hold what was recorded
        when it finished; any other (damaged, cut short, replaced) is removed."""
        video, stats = self.video(segment), self.stats(segment)
        paths = [path for path in (video, stats) if path]
        if not all(os.path.exists(path) for path in paths):
            return None
        try:
            recorded = sorted(digests) == sorted(os.path.basename(p) for p in paths) and all(
                file_digest(p) == digests[os.path.basename(p)] for p in paths)
            settings, frames = inspect_segment(video) if video else ({}, segment.frames)
            if recorded and frames == segment.frames and (not stats or stats_rows(stats) == frames):
                return settings, frames
        except (FarmError, OSError):
            pass
        for path in (video, stats):
            if path and os.path.exists(path):
                os.remove(path)
        return None

    def sweep(self):
        """Removes what unfinished attempts left behind."""
        if not os.path.isdir(self.path):
            return
        for name in os.listdir(self.path):
            if is_attempt_leftover(name):
                try:
                    os.remove(os.path.join(self.path, name))
                except FileNotFoundError:
                    pass

    def finished_segments(self):
        if not os.path.isdir(self.path):
            return 0
        ext = self.video_ext or self.stats_ext
        return sum(
            1
            for n in os.listdir(self.path)
            if n.startswith("seg-") and n.endswith(ext) and not is_attempt_leftover(n)
        )

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)
