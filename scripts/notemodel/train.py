#!/usr/bin/python3
"""Trains the note model on a training corpus and its feature files.

usage: train.py CORPUS_DIR FEATURE_DIR OUT.pt [--steps N] [--seed N] ...

Prints the measured codec delay of every piece's labels, the loss as it trains, and writes
the trained parameters with the delays and settings to OUT.pt.
"""
import argparse
import collections
import json
import time

import numpy as np
import torch

from dataset import CropSampler, load_corpus
from labels import MAX_DELAY_MS
from model import NoteModel


def delay_summary(pieces):
    """Lines describing the delays measured per sample rate, and the pieces without one."""
    lines, by_rate = [], collections.defaultdict(list)
    for p in pieces:
        if p.delay_ms is None:
            lines.append(f'  {p.id}: no onset in the audio, labels not shifted')
        else:
            by_rate[p.rate].append(p.delay_ms)
    for rate, delays in sorted(by_rate.items()):
        d = np.array(delays)
        edge = int(np.sum((d <= 0) | (d >= MAX_DELAY_MS)))
        lines.append(f'  {rate} Hz: {len(d)} pieces, delay ms min {d.min()} p10 {np.percentile(d, 10):.0f} '
                     f'median {np.median(d):.0f} p90 {np.percentile(d, 90):.0f} max {d.max()}'
                     + (f', {edge} at the edge of the search range' if edge else ''))
    return lines


def weighted_bce(logits, target, weight, pos_weight):
    loss = torch.nn.functional.binary_cross_entropy_with_logits(
        logits, target, weight=weight, pos_weight=torch.tensor(pos_weight), reduction='sum')
    return loss / weight.sum().clamp(min=1)


def train(pieces, steps, seed, batch_size, learning_rate, onset_pos_weight, sounding_pos_weight, log_every=50):
    torch.manual_seed(seed)
    model = NoteModel()
    sampler = CropSampler(pieces, seed)
    optimiser = torch.optim.Adam(model.parameters(), lr=learning_rate)
    schedule = torch.optim.lr_scheduler.OneCycleLR(optimiser, max_lr=learning_rate, total_steps=steps,
                                                   pct_start=0.05)
    started, running = time.time(), []
    for step in range(1, steps + 1):
        features, onset, onset_weight, sounding, sounding_weight = sampler.batch(batch_size)
        logits = model(features)
        onset_loss = weighted_bce(logits[:, NoteModel.ONSET], onset, onset_weight, onset_pos_weight)
        sounding_loss = weighted_bce(logits[:, NoteModel.SOUNDING], sounding, sounding_weight, sounding_pos_weight)
        loss = onset_loss + sounding_loss
        if not torch.isfinite(loss):
            raise FloatingPointError(f'loss became {loss.item()} at step {step}')
        optimiser.zero_grad()
        loss.backward()
        optimiser.step()
        schedule.step()
        running.append((onset_loss.item(), sounding_loss.item()))
        if step % log_every == 0 or step == steps:
            o, s = np.mean(running, axis=0)
            print(f'step {step}/{steps}  onset loss {o:.4f}  sounding loss {s:.4f}  '
                  f'{time.time() - started:.0f} s', flush=True)
            running = []
    return model, time.time() - started


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('corpus')
    ap.add_argument('features')
    ap.add_argument('out')
    ap.add_argument('--steps', type=int, default=3000)
    ap.add_argument('--batch', type=int, default=16)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--lr', type=float, default=5e-3)
    ap.add_argument('--onset-pos-weight', type=float, default=30.0)
    ap.add_argument('--sounding-pos-weight', type=float, default=1.0)
    ap.add_argument('--threads', type=int, default=2)
    a = ap.parse_args()
    torch.set_num_threads(a.threads)

    loaded = time.time()
    pieces = load_corpus(a.corpus, a.features)
    if not pieces:
        raise SystemExit(f'train.py: no pieces in {a.corpus}')
    hours = sum(len(p.features) for p in pieces) * 432 / 44100 / 3600
    print(f'{len(pieces)} pieces, {hours:.2f} h of audio, loaded in {time.time() - loaded:.0f} s')
    print('codec delay of the labels:')
    print('\n'.join(delay_summary(pieces)))

    model, seconds = train(pieces, a.steps, a.seed, a.batch, a.lr, a.onset_pos_weight, a.sounding_pos_weight)
    print(f'trained {a.steps} steps in {seconds / 60:.1f} min')
    torch.save({'model': model.state_dict(), 'settings': vars(a), 'train_seconds': seconds,
                'delays_ms': {p.id: p.delay_ms for p in pieces}}, a.out)
    print(json.dumps({'out': a.out, 'train_minutes': round(seconds / 60, 1)}))


if __name__ == '__main__':
    main()
