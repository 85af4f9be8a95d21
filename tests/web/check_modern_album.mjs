// Checks an album made in the modern style as real pages:
//  - the Nu HTML validator over every page and the style sheet: no errors;
//  - axe-core in Chromium on the overview and on every detail page: no violations;
//  - the layout in Chromium at 390 x 844 (a phone) and 1440 x 900, with script on and off: no
//    horizontal scrolling, no thumbnail shown smaller than its own size when it fits the width,
//    the first row in view, at most "thumbnails per line" in a row, a detail picture within
//    the window and never enlarged (a video clip's box as a picture's);
//  - every link, picture and clip (with its poster) leads to a file of the album, and the arrow keys and Escape
//    lead to the prior and next page and the overview.
// Usage: node check_modern_album.mjs ALBUM_FOLDER OVERVIEW_NAME PER_LINE CHROMIUM [SHOTS_DIR]
// Prints each failure on a line of its own and exits 1 when there was one.
import { execFileSync } from 'node:child_process';
import { existsSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const require = createRequire(import.meta.url);
const [folder, overviewName, perLineText, chromium, shots] = process.argv.slice(2);
const perLine = Number(perLineText);
const failures = [];
const fail = (text) => failures.push(text);

const overview = path.join(folder, overviewName);
const details = readdirSync(path.join(folder, 'html')).map((name) => path.join(folder, 'html', name));
const sheet = overview.replace(/\.[^.]*$/, '.css');

// The validator: its messages go to standard error, and its status is 1 when there are errors.
const vnu = path.join(path.dirname(require.resolve('vnu-jar/package.json')), 'build/dist/vnu.jar');
try {
  execFileSync('java', ['-jar', vnu, '--errors-only', '--also-check-css', overview, ...details, sheet],
               { stdio: ['ignore', 'pipe', 'pipe'] });
} catch (error) {
  fail(`validator: ${String(error.stderr || error.message).trim()}`);
}

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--no-sandbox', '--allow-file-access-from-files', '--disable-gpu'],
});
const axeSource = require('axe-core').source;

async function open(page, file) {
  await page.goto(pathToFileURL(file).href, { waitUntil: 'load' });
}

// Every link and picture source of the page names a file of the album.
async function checkTargets(page, label) {
  const targets = await page.evaluate(() => [
    ...[...document.querySelectorAll('a[href]')].map((a) => a.href),
    ...[...document.querySelectorAll('video[poster]')].map((video) => video.poster),
    ...[...document.querySelectorAll('img, source')].flatMap((img) =>
      [...(img.src ? [img.src] : []),
       ...(img.srcset ? img.srcset.split(',').map((s) => new URL(s.trim().split(' ')[0], img.baseURI).href) : [])]),
  ]);
  for (const target of targets) {
    if (!existsSync(fileURLToPath(target))) fail(`${label}: ${target} is no file`);
  }
  const broken = await page.evaluate(() =>
    [...document.images].filter((img) => !img.complete || img.naturalWidth === 0).map((img) => img.src));
  for (const src of broken) fail(`${label}: picture ${src} did not load`);
}

async function checkAxe(page, label) {
  await page.addScriptTag({ content: axeSource });
  const result = await page.evaluate(async () => await window.axe.run(document));
  for (const violation of result.violations) {
    fail(`${label}: axe ${violation.id}: ${violation.help} (${violation.nodes.map((n) => n.target.join(' ')).join(', ')})`);
  }
}

// Sideways scrolling: the page wider than the viewport it was given (on a phone the browser
// would widen its layout viewport to the content, so innerWidth alone does not tell).
function scrollsSideways(layout, width) {
  return layout.scrollWidth > width || layout.innerWidth > width;
}

async function checkOverviewLayout(page, label, width) {
  const layout = await page.evaluate(() => {
    const thumbs = [...document.querySelectorAll('.thumbs img')];
    const main = document.querySelector('main');
    const style = getComputedStyle(main);
    const room = main.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    return {
      scrollWidth: document.documentElement.scrollWidth,
      innerWidth: window.innerWidth,
      innerHeight: window.innerHeight,
      room,
      thumbs: thumbs.map((img) => {
        const box = img.getBoundingClientRect();
        const border = parseFloat(getComputedStyle(img).borderLeftWidth) * 2;
        return { own: img.width === 0 ? 0 : Number(img.getAttribute('width')), shown: img.clientWidth,
                 border, top: box.top, bottom: box.bottom };
      }),
    };
  });
  if (scrollsSideways(layout, width)) {
    fail(`${label}: scrolls sideways (${layout.scrollWidth} in ${width})`);
  }
  for (const [i, thumb] of layout.thumbs.entries()) {
    const fits = thumb.own + thumb.border <= layout.room;
    if (fits && thumb.shown < thumb.own) fail(`${label}: thumbnail ${i} shown ${thumb.shown} of ${thumb.own}`);
    if (!fits && thumb.shown + thumb.border > layout.room + 0.5) fail(`${label}: thumbnail ${i} wider than the page`);
  }
  if (layout.thumbs.length > 0) {
    const first = layout.thumbs[0];
    const row = layout.thumbs.filter((t) => Math.abs(t.top - first.top) < 1).length;
    if (row > perLine) fail(`${label}: ${row} thumbnails in a row, more than ${perLine}`);
    if (first.bottom > layout.innerHeight) fail(`${label}: the first row is not in view`);
    return row;
  }
  return 0;
}

async function checkDetailLayout(page, label, width) {
  const layout = await page.evaluate(() => {
    const img = document.querySelector('figure img, figure video');
    const box = img.getBoundingClientRect();
    return { scrollWidth: document.documentElement.scrollWidth, innerWidth: window.innerWidth,
             innerHeight: window.innerHeight, width: box.width, height: box.height,
             shown: img.clientWidth, own: Number(img.getAttribute('width')) };
  });
  if (scrollsSideways(layout, width)) fail(`${label}: scrolls sideways`);
  if (layout.width > layout.innerWidth || layout.height > layout.innerHeight) {
    fail(`${label}: the picture (${layout.width} x ${layout.height}) is larger than the window`);
  }
  // Beyond the picture's own width (a width of the srcset is density-corrected and rounded).
  if (layout.shown > layout.own) fail(`${label}: the picture is enlarged`);
}

// The keys lead where the links lead.
async function checkKeys(page, file, label) {
  await open(page, file);
  const links = await page.evaluate(() => Object.fromEntries(
    ['prior', 'next', 'overview'].map((id) => [id, document.getElementById(id)?.href ?? null])));
  for (const [key, id] of [['ArrowLeft', 'prior'], ['ArrowRight', 'next'], ['Escape', 'overview']]) {
    if (links[id] === null) continue;
    await open(page, file);
    await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.keyboard.press(key)]);
    if (page.url() !== links[id]) fail(`${label}: ${key} led to ${page.url()}, not ${links[id]}`);
  }
}

try {
  const page = await browser.newPage();
  const widths = [[390, 844, 'phone'], [1440, 900, 'desktop']];
  for (const [width, height, name, script] of [...widths.map((w) => [...w, true]), ...widths.map((w) => [...w, false])]) {
    await page.setJavaScriptEnabled(script);
    await page.setViewport({ width, height, deviceScaleFactor: name === 'phone' ? 3 : 1, isMobile: name === 'phone' });
    await open(page, overview);
    const row = await checkOverviewLayout(page, `overview at ${width}`, width);
    if (name === 'desktop' && row < Math.min(perLine, details.length)) {
      fail(`overview at ${width}: only ${row} thumbnails in the first row`);
    }
    await checkTargets(page, `overview at ${width}`);
    if (shots && script) await page.screenshot({ path: path.join(shots, `modern-${name}.png`) });
    for (const detail of details) {
      await open(page, detail);
      await checkDetailLayout(page, `${path.basename(detail)} at ${width}`, width);
      await checkTargets(page, path.basename(detail));
      if (shots && script && detail === details[0]) await page.screenshot({ path: path.join(shots, `modern-${name}-detail.png`) });
    }
  }
  await page.setJavaScriptEnabled(true);
  await page.setViewport({ width: 1440, height: 900 });
  await open(page, overview);
  await checkAxe(page, 'overview');
  for (const detail of details) {
    await open(page, detail);
    await checkAxe(page, path.basename(detail));
    await checkKeys(page, detail, path.basename(detail));
  }
} finally {
  await browser.close();
}

for (const failure of failures) console.log(failure);
console.log(`${failures.length} failures; ${details.length} detail pages checked`);
process.exit(failures.length === 0 ? 0 : 1);
