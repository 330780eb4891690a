"""manifest.csv: the columns of the public corpus first, then what this generator adds."""
import csv

COLUMNS = ['id', 'type', 'duration_s', 'rate', 'channels', 'detune_cents', 'programs',
           'source', 'encoder', 'peak_dbfs', 'composition', 'onset_lag_ms']


def row(pid, type_, duration, rate, channels, detune, programs, source, encoder, peak, title, lag_s):
    return {'id': pid, 'type': type_, 'duration_s': f'{duration:.3f}', 'rate': rate, 'channels': channels,
            'detune_cents': detune, 'programs': ' '.join(f'{c}:{p}' for c, p in sorted(programs.items())),
            'source': source, 'encoder': encoder, 'peak_dbfs': f'{peak:.1f}', 'composition': title,
            'onset_lag_ms': f'{1000 * lag_s:.1f}'}


def write(path, rows):
    with open(path, 'w', newline='') as f:
        w = csv.DictWriter(f, COLUMNS)
        w.writeheader()
        w.writerows(rows)


def read(path):
    with open(path, newline='') as f:
        return list(csv.DictReader(f))
