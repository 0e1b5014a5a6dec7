// Drives the office page in Debian's headless chromium as a teacher on duty would from a phone: signs in as 值班,
// reads today's plan, presses 今天不响铃 and confirms it, and waits until the page's plan says so.
// Usage: node web_page_e2e.js <page address> <duty password> <screenshot file>
// Prints "plan before: …" and "plan after: …"; any failure (or an error in the page's console) ends with status 1.
'use strict';
const puppeteer = require('puppeteer-core');

const [address, password, shot] = process.argv.slice(2);
const kWaitMs = 60000;  // a loaded machine may take its time; no step is timed

async function main() {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    // root in a container has no sandbox to give chromium; the page is our own on loopback.
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--accept-lang=zh-CN'],
  });
  const problems = [];
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(kWaitMs);
    page.on('pageerror', (e) => problems.push('page error: ' + e.message));
    page.on('console', (m) => { if (m.type() === 'error') problems.push('console: ' + m.text()); });
    await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
    await page.goto(address, { waitUntil: 'load' });

    await page.waitForSelector('#password', { visible: true });
    await page.select('#role', 'duty');
    await page.type('#password', password);
    await page.click('#signin');
    await page.waitForFunction(() => document.querySelector('#who') && document.querySelector('#who').textContent === '值班');
    await page.waitForFunction(() => /个铃声/.test(document.querySelector('#plan').textContent) &&
      document.querySelector('#bells').textContent.includes('上课'));
    console.log('plan before: ' + await page.$eval('#plan', (e) => e.textContent));

    await page.click('#act-silence-today');
    await page.waitForSelector('#confirm-yes', { visible: true });
    await page.click('#confirm-yes');
    await page.waitForFunction(() => document.querySelector('#message').classList.contains('ok') ||
      document.querySelector('#message').classList.contains('error'));
    const message = await page.$eval('#message', (e) => e.textContent);
    if (await page.$eval('#message', (e) => e.classList.contains('error'))) throw new Error('refused: ' + message);
    await page.waitForFunction(() => document.querySelector('#plan').textContent.includes('今天不响铃'));
    console.log('plan after: ' + await page.$eval('#plan', (e) => e.textContent) + ' (' + message + ')');
    await page.screenshot({ path: shot });
  } finally {
    await browser.close();
  }
  if (problems.length) throw new Error(problems.join('\n'));
}

main().catch((e) => {
  console.log('FAIL: ' + e.message);
  process.exit(1);
});
